#include "desktopservices.h"

#include "model/userfolders.h"

#include <QGridLayout>
#include <QPointer>
#include <QPushButton>
#include <QSystemTrayIcon>

namespace kelmora::app {

namespace {

// A message box is as wide as its text; a longer caption would be cut in the title bar ("Rollback t…"). The
// allowance covers the title bar's icon and buttons.
void FitCaption(QMessageBox& box, const QString& caption)
{
    constexpr int kTitleBarAllowance = 160;
    QFont titleFont = box.font();
    titleFont.setBold(true);
    const int width = QFontMetrics(titleFont).horizontalAdvance(caption) + kTitleBarAllowance;
    if (auto* grid = qobject_cast<QGridLayout*>(box.layout())) {
        grid->addItem(new QSpacerItem(width, 0, QSizePolicy::Minimum, QSizePolicy::Fixed), grid->rowCount(), 0, 1,
                      grid->columnCount());
    }
}

} // namespace

std::unique_ptr<QMessageBox> MakeQuestionBox(QWidget* owner, const QString& text, const QString& caption,
                                             bool withCancel)
{
    auto box = std::make_unique<QMessageBox>(QMessageBox::Question, caption, text,
                                             withCancel ? QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel
                                                        : QMessageBox::Yes | QMessageBox::No,
                                             owner);
    box->setObjectName("questionBox");
    // Enter must not delete anything by accident.
    box->setDefaultButton(QMessageBox::No);
    box->setEscapeButton(withCancel ? QMessageBox::Cancel : QMessageBox::No);
    FitCaption(*box, caption);
    return box;
}

std::unique_ptr<QMessageBox> MakeMessageBox(QWidget* owner, const QString& text, const QString& caption,
                                            MessageIcon icon)
{
    const QMessageBox::Icon shown = icon == MessageIcon::Error     ? QMessageBox::Critical
                                    : icon == MessageIcon::Warning ? QMessageBox::Warning
                                                                   : QMessageBox::Information;
    auto box = std::make_unique<QMessageBox>(shown, caption, text, QMessageBox::Ok, owner);
    box->setObjectName("messageBox");
    FitCaption(*box, caption);
    return box;
}

Answer AnswerOf(const QMessageBox& box)
{
    switch (box.standardButton(box.clickedButton())) {
    case QMessageBox::Yes:
        return Answer::Yes;
    case QMessageBox::No:
        return Answer::No;
    default:
        // Closed by the program (its own exit) rather than answered.
        return box.escapeButton() == box.button(QMessageBox::No) ? Answer::No : Answer::Cancel;
    }
}

CKelmoraApp::Services DesktopServices()
{
    CKelmoraApp::Services services;
    services.settings = platform::createSettingsStore();
    services.instance = platform::createSingleInstance();
    services.shell = platform::createShellOpener();
    services.askYesNo = [](const QString& text, const QString& caption) {
        const auto box = MakeQuestionBox(nullptr, text, caption, false);
        box->setDefaultButton(QMessageBox::Yes);
        return box->exec() == QMessageBox::Yes;
    };
    services.ask = [](QWidget* owner, const QString& text, const QString& caption, bool withCancel) {
        // Guarded: should the owner go while the box is open, it takes the box with it.
        const QPointer<QMessageBox> box = MakeQuestionBox(owner, text, caption, withCancel).release();
        box->exec();
        const Answer answer = box ? AnswerOf(*box) : (withCancel ? Answer::Cancel : Answer::No);
        delete box;
        return answer;
    };
    services.showError = [](const QString& text) {
        MakeMessageBox(nullptr, text, QStringLiteral("Error"), MessageIcon::Error)->exec();
    };
    services.showMessage = [](QWidget* owner, const QString& text, const QString& caption, MessageIcon icon) {
        // Guarded as the question is.
        const QPointer<QMessageBox> box = MakeMessageBox(owner, text, caption, icon).release();
        box->exec();
        delete box;
    };
    services.trayAvailable = [] { return QSystemTrayIcon::isSystemTrayAvailable(); };
    services.executableFolder = model::ExecutableFolder();
    services.cacheFolder = model::CacheFolder(model::ProcessEnvironment());
    return services;
}

} // namespace kelmora::app
