// The HTML and pandoc writers on documents made from arbitrary bytes
// (FuzzDocument.h), with options from the first bytes: never a crash, a hang
// or a leak, every byte they count reaches the output, both write UTF-8, the
// HTML's elements nest and the pandoc document is one well-formed JSON value.
#include "FuzzDocument.h"
#include "FuzzHost.h"
#include "FuzzOutput.h"
#include "HtmlConversion.h"
#include "PandocConversion.h"

#include "support/ConversionState.h"
#include "support/MarkupChecks.h"

#include <cstdint>
#include <string>

namespace {

const char* const kFolders[] = {"", "/", "/pictures", "/pictures/"};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    ombra_fuzz::InstallHost();
    if (size > 16384) return 0;
    ombra_fuzz::Bytes in(data, size);
    unsigned flags = in.Byte();
    const char* folder = kFolders[in.Byte() % 4];

    OBHtmlOptions html;
    html.stylesheet = static_cast<OBHTML::StylesheetEnum>(flags % 3);
    html.pages = static_cast<OBHTML::PagesEnum>((flags >> 2) % 3);
    html.styleClasses = flags & 0x10;
    html.includeHidden = flags & 0x20;
    if (flags & 0x80) { // a host's text: UTF-16 preferences, made UTF-8
        std::u16string link = in.Units();
        html.stylesheetLink.Clear();
        html.stylesheetLink.AppendUtf16(reinterpret_cast<const unsigned short*>(link.data()),
                                        static_cast<long long>(link.size()));
    }
    html.pictureFolder.Append(folder);
    OBPandocOptions pandoc;
    pandoc.styleNames = flags & 0x10;
    pandoc.includeHidden = flags & 0x20;
    pandoc.ruby = static_cast<OBPANDOC::RubyEnum>((flags >> 6) % 3);
    pandoc.pictureFolder.Append(folder);

    ombra_test::ConversionState state;
    ombra_test::DocumentBuilder builder;
    ombra_fuzz::DocumentProgram(builder, in).Run();
    const std::vector<Element*>& elements = builder.Build();
    std::string page = ombra_fuzz::Convert<OBHtmlConversion>(elements, html);
    if (!ombra_fuzz::IsUtf8(page) || !ombra_test::TagsNest(page)) __builtin_trap();
    std::string json = ombra_fuzz::Convert<OBPandocConversion>(elements, pandoc);
    if (!ombra_fuzz::IsUtf8(json) || !ombra_test::IsJson(json)) __builtin_trap();
    return 0;
}
