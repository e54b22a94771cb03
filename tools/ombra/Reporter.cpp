#include "Reporter.h"

#include "HostSystem.h"

#include <cstdio>

namespace ombra_host {

namespace {
// What a document names (styles, links, file names) reaches the terminal
// without its control characters, which could move the cursor, clear the
// screen or retitle the window: each becomes '?'. C1 controls are U+0080 to
// U+009F, C2 80 to C2 9F in UTF-8.
std::string Shown(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        const bool c1 = c == 0xC2 && i + 1 < text.size() &&
                        (static_cast<unsigned char>(text[i + 1]) & 0xE0) == 0x80;
        if ((c < 0x20 && c != '\t') || c == 0x7F || c1) {
            out += '?';
            i += c1 ? 1 : 0;
        } else {
            out += static_cast<char>(c);
        }
    }
    return out;
}
} // namespace

Reporter::Reporter(int total, bool progress)
    : total_(total), done_(0), progress_(progress && StandardErrorIsTerminal()), barShown_(false),
      start_(std::chrono::steady_clock::now()) {}

void Reporter::Line(const std::string& text) {
    std::lock_guard<std::mutex> lock(mutex_);
    ClearBar();
    std::fprintf(stderr, "ombra: %s\n", Shown(text).c_str());
    if (progress_) DrawBar();
    std::fflush(stderr);
}

void Reporter::Advance(const std::string& name) {
    std::lock_guard<std::mutex> lock(mutex_);
    ++done_;
    lastName_ = Shown(name);
    if (progress_) DrawBar();
}

void Reporter::Finish() {
    std::lock_guard<std::mutex> lock(mutex_);
    ClearBar();
    progress_ = false;
}

double Reporter::Elapsed() const {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
}

void Reporter::ClearBar() {
    if (!barShown_) return;
    std::fputs("\r\033[K", stderr);
    barShown_ = false;
}

void Reporter::DrawBar() {
    int width = TerminalWidth();
    std::string counts = " " + std::to_string(done_) + "/" + std::to_string(total_) + " ";
    int barWidth = width / 3;
    if (barWidth < 10) barWidth = 10;
    int filled = total_ > 0 ? barWidth * done_ / total_ : barWidth;
    std::string line =
        "[" + std::string(filled, '#') + std::string(barWidth - filled, '.') + "]" + counts;
    // The name of the last input, cut from the left to what the line holds.
    int room = width - 1 - static_cast<int>(line.size());
    std::string name = lastName_;
    if (room <= 3)
        name.clear();
    else if (static_cast<int>(name.size()) > room) {
        std::size_t from = name.size() - (room - 3);
        while (from < name.size() && (static_cast<unsigned char>(name[from]) & 0xC0) == 0x80)
            ++from;
        name = "..." + name.substr(from);
    }
    std::fprintf(stderr, "\r\033[K%s%s", line.c_str(), name.c_str());
    std::fflush(stderr);
    barShown_ = true;
}

} // namespace ombra_host
