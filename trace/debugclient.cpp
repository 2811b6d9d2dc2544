#include "trace/debugclient.h"

#include <QByteArray>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <sys/time.h>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <mutex>
#include <string>
#include <thread>

int DebugClient::sDebugLevel = 15;
QString DebugClient::sHost = QStringLiteral("127.0.0.1");
uint16_t DebugClient::sPort = 8080;
QString DebugClient::sAppName;
bool DebugClient::sInitialized = false;

namespace {

// Ring of formatted records. A producer reserves the slot at `head` only
// when it is empty, so a slot is never written by two producers; the sender
// takes slots in reservation order.
const size_t kSlots = 1024;
const size_t kSlotBytes = 4096;

enum SlotState : int { kEmpty = 0, kWriting = 1, kReady = 2 };

struct Slot {
    std::atomic<int> state{kEmpty};
    uint32_t length = 0;
    char text[kSlotBytes];
};

Slot sRing[kSlots];
std::atomic<uint64_t> sHead{0};
uint64_t sTail = 0;  // sender thread only
std::atomic<uint64_t> sDropped{0};

std::mutex sLifeMutex;  // set-up and shut-down of the sender only
std::thread sSender;
std::atomic<bool> sStop{false};
std::atomic<bool> sRunning{false};

// The sender thread uses plain sockets and nothing of Qt: it may still be
// running while the process exits, when Qt's own globals are already gone.
int sSocket = -1;  // sender thread only; -1 while not connected

// Connects to host:port within timeoutMs; -1 when nobody listens.
int connectTo(const std::string &host, uint16_t port, int timeoutMs) {
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo *list = nullptr;
    const std::string service = std::to_string(port);
    if (getaddrinfo(host.c_str(), service.c_str(), &hints, &list) != 0) return -1;
    int fd = -1;
    for (addrinfo *ai = list; ai && fd < 0; ai = ai->ai_next) {
        fd = socket(ai->ai_family, ai->ai_socktype | SOCK_CLOEXEC | SOCK_NONBLOCK, ai->ai_protocol);
        if (fd < 0) continue;
        if (connect(fd, ai->ai_addr, ai->ai_addrlen) != 0) {
            bool ok = false;
            if (errno == EINPROGRESS) {
                pollfd p{fd, POLLOUT, 0};
                int err = 0;
                socklen_t len = sizeof err;
                ok = poll(&p, 1, timeoutMs) == 1 && getsockopt(fd, SOL_SOCKET, SO_ERROR, &err, &len) == 0 && err == 0;
            }
            if (!ok) {
                close(fd);
                fd = -1;
            }
        }
    }
    freeaddrinfo(list);
    return fd;
}

// Writes the whole text, waiting at most timeoutMs for room each time; a
// monitor that stops reading or goes away ends the connection.
void sendAll(const char *text, size_t n, int timeoutMs) {
    while (n > 0 && sSocket >= 0) {
        ssize_t w = send(sSocket, text, n, MSG_NOSIGNAL);
        if (w > 0) {
            text += w;
            n -= static_cast<size_t>(w);
            continue;
        }
        if (w < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)) {
            pollfd p{sSocket, POLLOUT, 0};
            if (poll(&p, 1, timeoutMs) == 1) continue;
        }
        close(sSocket);
        sSocket = -1;
    }
}

bool drainOnce() {
    bool any = false;
    for (;;) {
        Slot &s = sRing[sTail % kSlots];
        if (s.state.load(std::memory_order_acquire) != kReady) break;
        sendAll(s.text, s.length, 200);
        s.state.store(kEmpty, std::memory_order_release);
        ++sTail;
        any = true;
    }
    return any;
}

void senderMain(std::string host, uint16_t port) {
    // The outcome is not reported: a monitor that is not listening costs
    // only the records.
    sSocket = connectTo(host, port, 1000);
    while (!sStop.load(std::memory_order_acquire)) {
        if (!drainOnce()) std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    drainOnce();
    if (sSocket >= 0) {
        shutdown(sSocket, SHUT_WR);
        close(sSocket);
        sSocket = -1;
    }
}

// Appends text to the slot, cutting it where the slot ends.
void put(Slot &s, const char *text, size_t n) {
    size_t room = kSlotBytes - s.length;
    if (n > room) n = room;
    std::memcpy(s.text + s.length, text, n);
    s.length += static_cast<uint32_t>(n);
}

void put(Slot &s, const char *text) { put(s, text, std::strlen(text)); }

}  // namespace

DebugClient DebugClient::sDebugClient;

DebugClient::~DebugClient() { Shutdown(); }

void DebugClient::Initialize() {
    std::lock_guard<std::mutex> lock(sLifeMutex);
    if (sRunning.load()) {
        sInitialized = true;
        return;
    }
    sStop.store(false);
    sTail = sHead.load();
    sSender = std::thread(senderMain, sHost.toStdString(), sPort);
    sRunning.store(true);
    sInitialized = true;
}

void DebugClient::Shutdown() {
    std::lock_guard<std::mutex> lock(sLifeMutex);
    if (!sRunning.load()) return;
    sStop.store(true, std::memory_order_release);
    if (sSender.joinable()) sSender.join();
    sRunning.store(false);
    sInitialized = false;
    // Whatever is left in the ring after the final drain belongs to no one.
    for (Slot &s : sRing) s.state.store(kEmpty);
    sTail = sHead.load();
}

void DebugClient::SendTrace(const QString &message, const char *category, unsigned level, const char *sourcePath,
                            unsigned line, const char *function) {
    struct timeval tv;
    gettimeofday(&tv, nullptr);
    double ms = static_cast<double>(tv.tv_sec) * 1000.0 + static_cast<double>(tv.tv_usec / 1000);

    if (!sRunning.load(std::memory_order_acquire)) {
        Initialize();
        if (!sRunning.load()) return;
    }

    uint64_t h = sHead.load(std::memory_order_relaxed);
    for (;;) {
        Slot &s = sRing[h % kSlots];
        if (s.state.load(std::memory_order_acquire) != kEmpty) {
            // Either another producer took this slot after we read the head
            // (try again at the new head) or the ring is full.
            uint64_t now = sHead.load(std::memory_order_acquire);
            if (now != h) {
                h = now;
                continue;
            }
            sDropped.fetch_add(1, std::memory_order_relaxed);
            return;
        }
        if (sHead.compare_exchange_weak(h, h + 1, std::memory_order_acq_rel)) break;
    }
    Slot &s = sRing[h % kSlots];
    s.state.store(kWriting, std::memory_order_relaxed);
    s.length = 0;

    char num[64];
    // Six significant digits, as a text stream writes a double by default.
    std::snprintf(num, sizeof num, "%g\t", ms / 1000.0);
    put(s, num);
    QByteArray app = sAppName.toUtf8();
    put(s, app.constData(), static_cast<size_t>(app.size()));
    put(s, "\t-\t-\t");
    put(s, category ? category : "");
    std::snprintf(num, sizeof num, "\t%u\t", level);
    put(s, num);
    put(s, getFilename(sourcePath ? sourcePath : ""));
    put(s, "\t");
    put(s, function ? function : "");
    std::snprintf(num, sizeof num, "\t%u\t", line);
    put(s, num);
    QByteArray msg = message.toUtf8();
    put(s, msg.constData(), static_cast<size_t>(msg.size()));
    // A cut inside a multi-byte character would leave a broken character
    // behind; back off to its start.
    if (s.length == kSlotBytes) {
        uint32_t n = s.length;
        while (n > 0 && (static_cast<unsigned char>(s.text[n - 1]) & 0xC0) == 0x80) --n;
        if (n > 0 && (static_cast<unsigned char>(s.text[n - 1]) & 0xC0) == 0xC0) s.length = n - 1;
    }
    s.state.store(kReady, std::memory_order_release);
}

void DebugClient::SetDebugLevel(int level) {
    if (level < 0)
        sDebugLevel = -1;
    else if (level > 15)
        sDebugLevel = 15;
    else
        sDebugLevel = level;
}

double DebugClient::CalcEpoch() {
    struct tm t;
    std::memset(&t, 0, sizeof t);
    t.tm_year = 2005 - 1900;
    t.tm_mon = 0;
    t.tm_mday = 1;
    t.tm_isdst = -1;
    return static_cast<double>(mktime(&t));
}

double DebugClient::OSTime() {
    static const double epoch = CalcEpoch();
    struct timeval tv;
    gettimeofday(&tv, nullptr);
    return static_cast<double>(tv.tv_sec) - epoch + static_cast<double>(tv.tv_usec) / 1e6;
}

const char *DebugClient::getFilename(const char *path) {
    if (!path) return "";
    if (const char *b = std::strrchr(path, '\\')) return b + 1;
    if (const char *s = std::strrchr(path, '/')) return s + 1;
    return path;
}

QString DebugClient::GetApplicationName() { return sAppName; }

QByteArray DebugClient::Sanitize(const QByteArray &text) {
    QByteArray out;
    out.reserve(text.size());
    for (char c : text) {
        unsigned char u = static_cast<unsigned char>(c);
        if (u < 32) {
            out.append('\\');
            out.append(QByteArray::number(u));
        } else {
            out.append(c);
        }
    }
    return out;
}

int DebugClient::LaunchDebugMonitor() { return 0; }

uint64_t DebugClient::droppedRecords() { return sDropped.load(); }
