#include "module-sim/SessionReport.h"

#include <cstdio>

namespace omblor::modulesim {

std::string SessionReport::Format() const {
    std::string line = Passed() ? "result ok" : "result unexpected";
    line += " session=" + std::to_string(number);
    line += " module=" + module;
    line += " connection=" + std::to_string(connection);
    line += " outcome=" + std::string(OutcomeName(outcome));
    line += " expected=" + std::string(OutcomeName(expected));
    line += " at=" + (at ? std::string(StepName(*at)) : std::string("-"));
    line += " credentials=" + credentials;
    line += " header=" + header;
    if (base) {
        char hex[16];
        std::snprintf(hex, sizeof hex, "0x%08X", *base);
        line += " base=" + std::string(hex);
    }
    if (length) line += " length=" + std::to_string(*length);
    line += " image=" + std::to_string(imageReceived);
    line += " reboot=" + reboot;
    line += " received=" + std::to_string(received);
    if (imageMilliseconds) {
        char ms[32];
        std::snprintf(ms, sizeof ms, "%.3f", *imageMilliseconds);
        line += " image-ms=" + std::string(ms);
    }
    line += " mismatches=" + std::to_string(mismatches.size());
    return line;
}

}  // namespace omblor::modulesim
