// Diagnostic trace records for a trace monitor listening on the local
// machine. One connection for the whole process, opened by the first record.
//
// Any thread may call SendTrace, the real-time audio path included: a call
// formats its record into a slot of a fixed ring with atomics only, and one
// sender thread owns the socket and writes the records in the order their
// slots were taken, so records never interleave and no caller waits for the
// network. When the ring is full (no monitor draining fast enough), the
// record is dropped.
#pragma once

#include <QString>
#include <cstdint>

class DebugClient {
public:
    DebugClient() = default;
    ~DebugClient();

    // Call sites send only while this is above 9.
    static int sDebugLevel;
    static QString sHost;   // IPv4 loopback
    static uint16_t sPort;  // 8080; settable before the first record
    static QString sAppName;
    static bool sInitialized;

    // Writes one record: time, application, "-", "-", category, level,
    // source file name, function, line, message, tab-separated, with no
    // terminator. Never fails towards the caller.
    static void SendTrace(const QString &message, const char *category, unsigned level, const char *sourcePath,
                          unsigned line, const char *function);
    // Sets up the sender; called by SendTrace only.
    static void Initialize();
    // -1 for a negative level, 15 above 15.
    static void SetDebugLevel(int level);

    // Stops the sender after it has written what is queued (bounded wait)
    // and forgets the connection, so that the next record connects anew.
    // Used at process exit and by tests that move the monitor.
    static void Shutdown();

    // Seconds (with microseconds) since local midnight, 1 January 2005.
    static double OSTime();
    static double CalcEpoch();
    // The base-name rule of the source-file field: after the last backslash,
    // or when there is none, after the last slash.
    static const char *getFilename(const char *path);
    static QString GetApplicationName();
    // Copies a text, writing every byte below 32 as '\' and its decimal value.
    static QByteArray Sanitize(const QByteArray &text);
    static int LaunchDebugMonitor();

    // Records dropped because the ring was full (for tests and diagnostics).
    static uint64_t droppedRecords();

private:
    static DebugClient sDebugClient;
};
