#include "AppBundle.hpp"

#ifndef VELLUMKITE_BUNDLE_ID
#error "VELLUMKITE_BUNDLE_ID comes from the top CMakeLists.txt"
#endif

namespace vellumkite {

QString AppBundle::identifier() {
    return QStringLiteral(VELLUMKITE_BUNDLE_ID);
}

} // namespace vellumkite
