#pragma once

#include <QString>

namespace vellumkite {

// What names the app on macOS. The identifier is set once, as VELLUMKITE_BUNDLE_ID in the top
// CMakeLists.txt, which also writes it into the bundle's Info.plist; compiled in on every
// platform, so that a test can check that the two agree.
struct AppBundle {
    // The bundle identifier. It is also the user defaults domain of the preferences, for the app
    // and the terminal tool alike: the tool runs outside the bundle, so it could not ask it.
    static QString identifier();
};

} // namespace vellumkite
