#include "BoxSize.hpp"

namespace vellumkite {

std::string_view BoxSizes::raw(BoxSize size) {
    switch (size) {
    case BoxSize::small:
        return "small";
    case BoxSize::large:
        return "large";
    case BoxSize::medium:
        break;
    }
    return "medium";
}

std::optional<BoxSize> BoxSizes::fromRaw(std::string_view raw) {
    for (const BoxSize size : all) {
        if (BoxSizes::raw(size) == raw)
            return size;
    }
    return std::nullopt;
}

QString BoxSizes::title(BoxSize size) {
    QString text = QString::fromLatin1(raw(size));
    text[0] = text[0].toUpper();
    return text;
}

} // namespace vellumkite
