#pragma once

#include <QString>
#include <string_view>

namespace vellumkite {

// How the History window names a model: by family and version where the id says them
// ("claude-opus-4-5-20251101" and "claude-3-5-sonnet-20241022" read "Opus 4.5" and
// "Sonnet 3.5"), else by the id itself.
struct ModelName {
    static QString display(std::string_view id);
};

} // namespace vellumkite
