#pragma once
// The application's look: one style sheet and our icons, both from the resource file.

#include <QIcon>

class QApplication;

namespace ZEL::Style {

// Loads the style sheet and the icons once; later calls change nothing.
void Apply(QApplication& AApp);

// An icon of the resource file by name ("alerts", "devices", "profile", "back", "logo",
// "lock", "arrow"); its checked state is drawn white. An unknown name gives an empty icon.
QIcon Icon(const char* AName);
// The same icon drawn in ATint (for a glyph on a light background).
QIcon Icon(const char* AName, const QColor& ATint);

// The style sheet's text as the resource file holds it.
QString StyleSheet();

}  // namespace ZEL::Style
