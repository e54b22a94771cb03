#include "Recorder.h"

#include <mutex>

namespace ombra_test {

namespace {
std::mutex gMutex;
std::vector<std::string>& Events() {
    static std::vector<std::string> events;
    return events;
}
} // namespace

void Record(const std::string& event) {
    std::lock_guard<std::mutex> guard(gMutex);
    Events().push_back(event);
}

std::vector<std::string> Recorded() {
    std::lock_guard<std::mutex> guard(gMutex);
    return Events();
}

void ClearRecorded() {
    std::lock_guard<std::mutex> guard(gMutex);
    Events().clear();
}

} // namespace ombra_test
