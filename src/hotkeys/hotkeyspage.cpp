#include "hotkeys/hotkeyspage.h"

#include "hotkeys/hotkeytable.h"
#include "platform/globalshortcuts.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <string>

namespace kelmora::hotkeys {

namespace {

app::ShowMessageFn OrWarningBox(app::ShowMessageFn showMessage)
{
    if (showMessage) {
        return showMessage;
    }
    return
        [](QWidget* owner, const QString& text, const QString& caption) { QMessageBox::warning(owner, caption, text); };
}

QCheckBox* AddCheckBox(QVBoxLayout* layout, const char* text, const char* name)
{
    auto* box = new QCheckBox(QLatin1String(text));
    box->setObjectName(QLatin1String(name));
    layout->addWidget(box);
    return box;
}

} // namespace

CEditHotkeyDlg::CEditHotkeyDlg(HotkeyEntry& entry, const CHotkeyTable& table, app::ShowMessageFn showMessage,
                               QWidget* parent)
    : QDialog(parent), m_entry(entry), m_table(table), m_showMessage(OrWarningBox(std::move(showMessage))),
      m_key(new QComboBox)
{
    setWindowTitle(QStringLiteral("Edit Hotkey"));
    auto* modifiers = new QGroupBox(QStringLiteral("Modifiers"));
    auto* modifierLayout = new QVBoxLayout(modifiers);
    m_alt = AddCheckBox(modifierLayout, "Alt", "altCheck");
    m_ctrl = AddCheckBox(modifierLayout, "Ctrl", "ctrlCheck");
    m_shift = AddCheckBox(modifierLayout, "Shift", "shiftCheck");

    m_key->setObjectName(QStringLiteral("keyCombo"));
    for (char16_t letter = u'A'; letter <= u'Z'; ++letter) {
        m_key->addItem(QString(QChar(letter)), static_cast<unsigned>(letter));
    }
    m_key->setCurrentIndex(m_key->findData(m_entry.vk));
    m_alt->setChecked((m_entry.modifiers & platform::kModAlt) != 0);
    m_ctrl->setChecked((m_entry.modifiers & platform::kModControl) != 0);
    m_shift->setChecked((m_entry.modifiers & platform::kModShift) != 0);

    auto* ok = new QPushButton(QStringLiteral("OK"));
    ok->setObjectName(QStringLiteral("okButton"));
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &CEditHotkeyDlg::accept);

    auto* keyRow = new QHBoxLayout;
    auto* keyLabel = new QLabel(QStringLiteral("Key:"));
    keyLabel->setBuddy(m_key);
    keyRow->addWidget(keyLabel);
    keyRow->addWidget(m_key, 1);
    auto* right = new QVBoxLayout;
    right->addLayout(keyRow);
    right->addStretch(1);
    right->addWidget(ok, 0, Qt::AlignRight);
    auto* layout = new QHBoxLayout(this);
    layout->addWidget(modifiers);
    layout->addLayout(right);
    m_key->setFocus();
}

void CEditHotkeyDlg::accept()
{
    if (m_key->currentIndex() < 0) {
        m_showMessage(this, QStringLiteral("Select some key to proceed"), QStringLiteral("No key is selected"));
        m_key->setFocus();
        return;
    }
    std::uint32_t modifiers = 0;
    modifiers |= m_alt->isChecked() ? platform::kModAlt : 0;
    modifiers |= m_ctrl->isChecked() ? platform::kModControl : 0;
    modifiers |= m_shift->isChecked() ? platform::kModShift : 0;
    if (!LeavesTypingAlone(modifiers)) {
        m_showMessage(this,
                      QStringLiteral("Select Alt or Ctrl as well: a letter alone, or with Shift only, is what you "
                                     "type in every other program."),
                      QStringLiteral("Alt or Ctrl needed"));
        m_alt->setFocus();
        return;
    }
    const std::uint32_t vk = m_key->currentData().toUInt();
    int self = -1;
    for (int i = 0; i < m_table.Count(); ++i) {
        self = m_table.At(i) == &m_entry ? i : self;
    }
    const int other = m_table.FindCombination(modifiers, vk, self);
    if (other >= 0) {
        m_showMessage(this,
                      QStringLiteral("This combination is already used for \"%1\"")
                          .arg(QString::fromStdString(m_table.At(other)->title)),
                      QStringLiteral("Hotkey in use"));
        m_key->setFocus();
        return;
    }
    m_entry.vk = vk;
    m_entry.modifiers = modifiers;
    QDialog::accept();
}

CHotkeysPage::CHotkeysPage(CHotkeyTable& table, app::ShowMessageFn showMessage, EditRunner runEdit, QWidget* parent)
    : app::CPropertyPage(QStringLiteral("Keyboard Shortcuts"), parent), m_table(table),
      m_showMessage(OrWarningBox(std::move(showMessage))), m_runEdit(std::move(runEdit)), m_view(new QTreeWidget),
      m_change(new QPushButton(QStringLiteral("Change")))
{
    if (!m_runEdit) {
        m_runEdit = [](CEditHotkeyDlg& dialog) { return dialog.exec(); };
    }
    m_view->setObjectName(QStringLiteral("hotkeyView"));
    m_view->setHeaderLabels({QStringLiteral("Action"), QStringLiteral("Hotkey")});
    m_view->setColumnWidth(0, 200);
    m_view->setColumnWidth(1, 130);
    m_view->setRootIsDecorated(false);
    m_view->setSelectionMode(QAbstractItemView::SingleSelection);
    m_view->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_view->setAllColumnsShowFocus(true);
    m_change->setObjectName(QStringLiteral("changeButton"));
    // Enter in the list changes its row; elsewhere Enter belongs to the sheet's OK.
    m_change->setAutoDefault(false);
    m_view->installEventFilter(this);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_view);
    layout->addWidget(m_change, 0, Qt::AlignRight);

    connect(m_change, &QPushButton::clicked, this, &CHotkeysPage::Change);
    connect(m_view, &QTreeWidget::itemDoubleClicked, this, &CHotkeysPage::Change);
    connect(m_view, &QTreeWidget::itemSelectionChanged, this, &CHotkeysPage::UpdateButton);
    // A desktop that answers later, or lets the user pick other keys, changes what the rows show.
    connect(&m_table.Shortcuts(), &platform::GlobalShortcuts::statusChanged, this, &CHotkeysPage::Fill);
    Fill();
}

void CHotkeysPage::OnSetActive()
{
    Fill();
    // The list takes the keyboard, so a keyboard user can go straight to a row and Change.
    m_view->setFocus();
}

void CHotkeysPage::Fill()
{
    // While Edit Hotkey runs the shortcuts are released on purpose; the rows keep showing what they were.
    if (m_editing) {
        return;
    }
    const int selected = m_view->currentItem() != nullptr ? m_view->indexOfTopLevelItem(m_view->currentItem()) : -1;
    m_view->clear();
    for (int i = 0; i < m_table.Count(); ++i) {
        auto* item = new QTreeWidgetItem(m_view, {QString::fromStdString(m_table.At(i)->title), m_table.ShownText(i)});
        // The row stands for its table position: two entries may carry the same id.
        item->setData(0, Qt::UserRole, i);
    }
    if (selected >= 0) {
        m_view->setCurrentItem(m_view->topLevelItem(selected));
    }
    UpdateButton();
}

void CHotkeysPage::UpdateButton()
{
    m_change->setEnabled(!m_view->selectedItems().isEmpty());
}

void CHotkeysPage::Change()
{
    const QList<QTreeWidgetItem*> selected = m_view->selectedItems();
    HotkeyEntry* entry = selected.isEmpty() ? nullptr : m_table.At(selected.front()->data(0, Qt::UserRole).toInt());
    if (entry == nullptr) {
        return;
    }
    m_editing = true;
    m_table.UnregisterAll();
    CEditHotkeyDlg dialog(*entry, m_table, m_showMessage, this);
    m_runEdit(dialog);
    // Whatever the answer: the shortcuts were released for the dialog and must come back.
    m_table.RegisterAll();
    m_editing = false;
    Fill();
    std::string error;
    if (!m_table.SaveHotkeys(&error)) {
        m_showMessage(
            this, QStringLiteral("The keyboard shortcuts could not be saved.\n%1").arg(QString::fromStdString(error)),
            QStringLiteral("Error"));
    }
}

bool CHotkeysPage::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_view && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if ((key == Qt::Key_Return || key == Qt::Key_Enter) && m_view->currentItem() != nullptr) {
            m_view->currentItem()->setSelected(true);
            Change();
            return true;
        }
    }
    return app::CPropertyPage::eventFilter(watched, event);
}

int RunSettingsSheet(QWidget* parent, app::SettingsSheetServices services, CHotkeyTable& table)
{
    auto page = std::make_unique<CHotkeysPage>(table, services.showMessage);
    return app::RunSettingsSheet(parent, std::move(services), std::move(page));
}

} // namespace kelmora::hotkeys
