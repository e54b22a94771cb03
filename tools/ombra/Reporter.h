// What the host tells the person at the terminal while it converts: one
// line per failed input and per note, a progress bar on a terminal, and a
// summary at the end. Safe to call from several threads.
#ifndef OMBRA_TOOLS_REPORTER_H
#define OMBRA_TOOLS_REPORTER_H

#include <chrono>
#include <mutex>
#include <string>

namespace ombra_host {

class Reporter {
public:
    /// total: the number of inputs; progress: draw a progress bar on the
    /// standard error stream (only ever on a terminal).
    Reporter(int total, bool progress);

    /// Writes "ombra: text" as a line of its own on the standard error.
    void Line(const std::string& text);
    /// One input is done; redraws the progress bar.
    void Advance(const std::string& name);
    /// Removes the progress bar.
    void Finish();
    /// Seconds since the reporter was made.
    double Elapsed() const;

private:
    void ClearBar();
    void DrawBar();

    std::mutex mutex_;
    int total_;
    int done_;
    bool progress_;
    bool barShown_;
    std::string lastName_;
    std::chrono::steady_clock::time_point start_;
};

} // namespace ombra_host

#endif
