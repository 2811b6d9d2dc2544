// The ALSA back end of the audio host. It lists every PCM device of every
// card as one device (uid "hw:CARD=<id>,DEV=<n>", named after the card, so a
// USB device carries its product name; further PCM devices of the same card
// add their own name in parentheses), probes the standard PCM rates and the
// DSD formats, and runs a stream on one thread per device.
//
// Formats, in order of preference:
//   PCM    S32_LE, S24_3LE, S24_LE, S16_LE, FLOAT_LE on the hw: device; when
//          it offers none at the rate and channels, plughw: with its
//          resampling off (so the rate is still the device's own)
//   DoP    S32_LE, S24_3LE, S24_LE on the hw: device only
//   DSD    DSD_U32_BE, DSD_U16_BE, DSD_U8, DSD_U32_LE, DSD_U16_LE on the hw:
//          device only
// The rate, format and channels ALSA grants are compared with those asked
// and the stream fails when they differ: nothing bit-exact is converted.
// An underrun re-prepares the device and goes on; a device that goes away
// ends the stream's calls. ALSA's own error printing is silenced.
//
// Only this back end's source includes the ALSA headers.
#pragma once

// Adds a device defined by ALSA configuration text instead of a card: the PCM
// `pcmName` of `configText` (ALSA's configuration syntax), listed among the
// real devices under `name` with the uid "lconf:<pcmName>" from the next
// refresh on. Lets tests run the back end without hardware, for example
// through ALSA's file plugin over the null device. 0, or
// kAudioHostErrUnsupported when the text does not parse or a name is empty
// or too long.
[[nodiscard]] int alsahost_addConfiguredDevice(const char *configText, const char *pcmName, const char *name);

// Removes every added device from the next refresh on (a running stream on
// one keeps running until stopped).
void alsahost_clearConfiguredDevices();
