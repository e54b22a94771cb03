// The text writer on documents made from arbitrary bytes (FuzzDocument.h),
// with options from the first bytes: never a crash, a hang or a leak, every
// byte it counts reaches the output, and UTF-8 output is well-formed.
#include "FuzzDocument.h"
#include "FuzzHost.h"
#include "FuzzOutput.h"
#include "TextConversion.h"
#include "TextWriterOptions.h"

#include "support/ConversionState.h"

#include <cstdint>
#include <string>

namespace {

const unsigned kCodePages[] = {1252, 1251, 932, 936, 949, 950, 1361, 10000, 20932, 65001, 4242};

OBTextWriterOptions Options(ombra_fuzz::Bytes& in) {
    OBTextWriterOptions o;
    unsigned flags = in.Byte() | in.Byte() << 8;
    o.encoding = static_cast<OBTW::EncodingEnum>(flags & 3);
    o.platform = static_cast<OBTW::PlatformEnum>((flags >> 2) % 3);
    o.lineEnd = static_cast<OBTW::LineEndEnum>((flags >> 4) & 3);
    o.markStyles = flags & 0x40;
    o.markBreaks = flags & 0x80;
    o.includeHidden = flags & 0x100;
    o.reportGeometry = flags & 0x200;
    o.rubyReadings = flags & 0x400;
    o.utf8ByteOrderMark = flags & 0x800;
    o.squeezeBlankLines = flags & 0x1000;
    o.geometryUnit = static_cast<UNITS::LINEAR::UnitEnum>(in.Byte() % 6);
    o.wrapColumn = (flags & 0x2000) ? static_cast<int>(in.Byte() % 90) : 0;
    o.codePage = kCodePages[in.Byte() % (sizeof kCodePages / sizeof kCodePages[0])];
    if (flags & 0x4000) {
        std::string text = in.Text();
        o.styleTemplate = WOBString(text.c_str());
        text = in.Text();
        o.breakText = WOBString(text.c_str());
    }
    return o;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    ombra_fuzz::InstallHost();
    if (size > 16384) return 0;
    ombra_fuzz::Bytes in(data, size);
    OBTextWriterOptions options = Options(in);
    ombra_test::ConversionState state;
    ombra_test::DocumentBuilder builder;
    ombra_fuzz::DocumentProgram(builder, in).Run();
    std::string text = ombra_fuzz::Convert<OBTextConversion>(builder.Build(), options);
    if (options.encoding == OBTW::kUTF8 && !ombra_fuzz::IsUtf8(text)) __builtin_trap();
    return 0;
}
