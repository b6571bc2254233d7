#pragma once

#include "modelessdialog.h"

#include <QString>

class QLabel;
class QPushButton;

namespace kelmora::app {
class CKelmoraApp;
}

namespace kelmora::ui {

// The web site of the program, shown in the About box.
inline constexpr const char* kWebsiteAddress = "https://kelmora.app";

// The About box: program icon, version, a short description and links to the web site and to support.
// Created once, hidden, and brought back with ShowDialog; closing only hides it.
class CAboutDlg final : public CModelessDialog
{
    Q_OBJECT

public:
    explicit CAboutDlg(app::CKelmoraApp& app, QWidget* parent = nullptr);

    // "Version x.y.z", from the build.
    static QString VersionText();

protected:
    void showEvent(QShowEvent* event) override;

private:
    void UpdatePicture();
    void OnLinkActivated(const QString& url);

    app::CKelmoraApp& m_app;
    QLabel* m_iconLabel;
    QLabel* m_websiteLabel;
    QLabel* m_supportLabel;
    QPushButton* m_closeButton;
};

} // namespace kelmora::ui
