// A stand-in for the converter's helper process that takes its time: prints the
// converter's banner, waits OV_SLOW_HELPER_SECONDS (2 unless set), then ends with
// the exit code OV_SLOW_HELPER_EXIT (0 unless set) and no report.

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <thread>

int main() {
    const char* seconds = std::getenv("OV_SLOW_HELPER_SECONDS");
    const char* code = std::getenv("OV_SLOW_HELPER_EXIT");
    std::puts("3DS -> OV Converter, v0.1");
    std::fflush(stdout);
    std::this_thread::sleep_for(std::chrono::seconds(seconds ? std::atoi(seconds) : 2));
    return code ? std::atoi(code) : 0;
}
