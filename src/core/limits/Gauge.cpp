#include "Gauge.hpp"

namespace vellumkite {

Level Gauge::level(double percent) {
    if (percent >= kAlertFrom)
        return Level::alert;
    if (percent >= kWarnFrom)
        return Level::warn;
    return Level::info;
}

} // namespace vellumkite
