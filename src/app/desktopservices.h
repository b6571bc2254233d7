#pragma once

#include "kelmoraapp.h"

#include <QMessageBox>

#include <memory>

namespace kelmora::app {

// The services of a real desktop session: settings, instance slot, shell, message boxes, tray.
CKelmoraApp::Services DesktopServices();

// The question box of CKelmoraApp::AskYesNo and AskYesNoCancel: No is the default button, and Escape
// means Cancel (No when there is no Cancel).
std::unique_ptr<QMessageBox> MakeQuestionBox(QWidget* owner, const QString& text, const QString& caption,
                                             bool withCancel);
// The box of CKelmoraApp::ShowMessage: an OK button and the icon asked for.
std::unique_ptr<QMessageBox> MakeMessageBox(QWidget* owner, const QString& text, const QString& caption,
                                            MessageIcon icon);
// The answer of a question box after it ran; a box closed without choosing answers as Escape does.
Answer AnswerOf(const QMessageBox& box);

} // namespace kelmora::app
