#pragma once

#include <QString>

class QUrl;
class QWidget;

namespace lumarest {

struct WizardEnvironment;

// Hands `url` to the desktop; when no program takes it, a box says so and offers another
// program or the folder holding it. A recovered file's copy is named by the file's name.
void OpenOnDesktop(WizardEnvironment& env, QWidget* parent, const QUrl& url,
                   const QString& recoveredName = {});
// The program the user picks opens `url`; a box says so when it cannot be started.
void OpenWithChosenProgram(WizardEnvironment& env, QWidget* parent, const QUrl& url);

}  // namespace lumarest
