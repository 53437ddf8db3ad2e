#include "DisplayPlatform.hpp"

#include <QByteArray>
#include <QtGlobal>

namespace vellumkite {

namespace {

bool isSet(const Environment& env, std::string_view name) {
    const auto value = env.get(name);
    return value && !value->empty();
}

} // namespace

std::optional<std::string> DisplayPlatform::preferred(const Environment& env,
                                                      bool fromEnvironment) {
    if (fromEnvironment && isSet(env, "WAYLAND_DISPLAY") && isSet(env, "DISPLAY") &&
        !isSet(env, "QT_QPA_PLATFORM"))
        return "xcb";
    return std::nullopt;
}

void DisplayPlatform::apply() {
    if (const auto platform = preferred(Environment::process()))
        qputenv("QT_QPA_PLATFORM", QByteArray::fromStdString(*platform));
}

bool DisplayPlatform::hasDisplay(const Environment& env, bool fromEnvironment) {
    return !fromEnvironment || isSet(env, "DISPLAY") || isSet(env, "WAYLAND_DISPLAY");
}

} // namespace vellumkite
