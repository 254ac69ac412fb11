#pragma once

// The window asks for the classic family names (Arial, Arial Black, Times New Roman,
// MS Sans Serif); each system says which of its fonts draw them.
namespace SystemFonts {
void installSubstitutions();
} // namespace SystemFonts
