// Carries the compiled resource bundle (rcc's binary form) and registers it
// before main() runs, so that a program only has to link sx_resources to open
// ":/resources2/..." and ":/jpgData/...". The bytes are included by the
// assembler rather than written out as a C array: the bundle holds a 6 MB font,
// and an array of that size costs the compiler far more than the assembler.
#include <QResource>

#ifndef SX_BUNDLE_RCC
#error "SX_BUNDLE_RCC must name the compiled bundle"
#endif

// Local symbols: this object may sit in several archives of one program.
__asm__(
    ".pushsection .rodata\n"
    ".balign 16\n"
    "sxBundleData:\n"
    ".incbin \"" SX_BUNDLE_RCC
    "\"\n"
    ".byte 0\n"
    ".popsection\n");

extern "C" const unsigned char sxBundleData[];

namespace {

struct BundleRegistration {
    BundleRegistration() { QResource::registerResource(sxBundleData); }
    ~BundleRegistration() { QResource::unregisterResource(sxBundleData); }
};

const BundleRegistration sRegistration;

}  // namespace
