#pragma once

// The font families the program asks for by name come from another desktop.
// Each has a named stand-in among the free fonts the program depends on
// (metric-compatible where one exists), so that what is drawn does not
// depend on which fonts a machine happens to have.

#include <array>

namespace platform {

struct FontSubstitute {
  const char* Requested;   // the family the windows ask for
  const char* Substitute;  // the family drawn instead when the requested one is missing
};

constexpr std::array<FontSubstitute, 5> kFontSubstitutes{{
    {"Courier New", "Liberation Mono"},  // metric-compatible
    {"Arial", "Liberation Sans"},        // metric-compatible
    // No free clone of either; DejaVu Sans has the same wide, open shapes
    // and stays readable at the small sizes they are used in.
    {"Tahoma", "DejaVu Sans"},
    {"MS Sans Serif", "DejaVu Sans"},
    {"Bookman Old Style", "URW Bookman"},  // metric-compatible with ITC Bookman
}};

// Registers the stand-ins with Qt's font matching. A QGuiApplication must exist.
void InstallFontSubstitutes();

}  // namespace platform
