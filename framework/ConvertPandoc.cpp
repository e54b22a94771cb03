// The formats written through pandoc, for hosts of <ombra/convert.h>: the
// pandoc writer's document in memory, then pandoc, then the sink.
#include "ConvertInternal.h"
#include "PandocRoute.h"
#include "platform/Outputs.h"
#include "platform/Processes.h"

#include <ombra/convert.h>

#include <cmath>

namespace ombra {

std::vector<PandocFormat> PandocFormats() {
    std::vector<PandocFormat> formats;
    for (const ombra_pandoc::PandocFormat& format : ombra_pandoc::PandocFormats())
        formats.push_back(PandocFormat{format.name, format.extension, format.binary});
    return formats;
}

} // namespace ombra

namespace obconvert {

using ombra::Result;
using ombra::Status;

bool WrittenThroughPandoc(const std::string& writer) {
    return ombra_pandoc::FindPandocFormat(writer) != nullptr;
}

ombra::Options PandocWriterOptions(const ombra::Options& options) {
    ombra::Options writerOptions = options;
    writerOptions.writer = "pandoc";
    return writerOptions;
}

Result ConvertThroughPandoc(const ombra::Converter& converter, const ombra::Source& input,
                            const ombra::Sink& output, const ombra::Options& options) {
    const ombra_pandoc::PandocFormat* format = ombra_pandoc::FindPandocFormat(options.writer);
    if (output.GetKind() == ombra::Sink::Kind::kPath &&
        input.GetKind() == ombra::Source::Kind::kPath &&
        obsys::SameFile(input.Name().c_str(), output.Name().c_str())) {
        Result refused;
        return Fail(refused, Status::kOutputIsInput, output.Name());
    }
    // The pandoc writer's document links the pictures as the output's
    // folder sees them, and pandoc looks for them there.
    std::string bytes;
    Result result = converter.Convert(input, ombra::Sink::Memory(bytes, output.Destination()),
                                      PandocWriterOptions(options));
    if (!result.Ok()) return result;
    const std::string source = input.GetKind() == ombra::Source::Kind::kPath ? input.Name() : "-";
    // The reason is English, as every result's; the notes are in the locale.
    const ombra_pandoc::Wording wording{false, options.locale == OBL::kJapanese, nullptr};
    obsys::RunLimits limits;
    if (options.pandocSeconds > 0 && options.pandocSeconds < 1e9)
        limits.deadline = obsys::MonotonicMilliseconds() +
                          static_cast<long long>(std::ceil(options.pandocSeconds * 1000));
    result.outputBytes = 0;
    ombra_pandoc::PandocResult(result, *format, source, output.Destination(), bytes, options.strict,
                               &limits, wording);
    if (!result.Ok()) return result;
    if (!WriteSink(output, reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size(),
                   result))
        return result;
    result.status = Status::kConverted;
    result.reason.clear();
    return result;
}

} // namespace obconvert
