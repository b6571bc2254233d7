#include "categorydialogs.h"

#include "app/icons.h"
#include "app/kelmoraapp.h"
#include "app/messages.h"
#include "app/tracking.h"
#include "model/category.h"

#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

#include <algorithm>
#include <utility>
#include <vector>

namespace kelmora::ui {

namespace {

const QString kNoSelectionCaption = QStringLiteral("No selected category");

} // namespace

CCategoryNameDlg::CCategoryNameDlg(QWidget* parent) : QDialog(parent), m_nameEdit(new QLineEdit(this))
{
    setObjectName("categoryDlg");
    setWindowTitle(QStringLiteral("Category"));
    setWindowIcon(app::MakeIcon(app::IconKind::Program));

    m_nameEdit->setObjectName("nameEdit");
    auto* label = new QLabel(QStringLiteral("&Category:"), this);
    label->setObjectName("nameLabel");
    label->setBuddy(m_nameEdit);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    buttons->setObjectName("buttonBox");
    QPushButton* ok = buttons->button(QDialogButtonBox::Ok);
    ok->setObjectName("okButton");
    ok->setDefault(true);
    buttons->button(QDialogButtonBox::Cancel)->setObjectName("cancelButton");
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto* row = new QHBoxLayout;
    row->addWidget(label);
    row->addWidget(m_nameEdit, 1);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(row);
    layout->addWidget(buttons);
    // Room for a name of ordinary length; the height follows the font.
    m_nameEdit->setMinimumWidth(m_nameEdit->fontMetrics().averageCharWidth() * 32);

    // The user comes here to type a name, so typing starts in the edit when the dialog appears.
    m_nameEdit->setFocus();
}

void CCategoryNameDlg::SetName(const QString& name)
{
    m_nameEdit->setText(name);
    // Typing replaces an offered name rather than appending to it.
    m_nameEdit->selectAll();
}

QString CCategoryNameDlg::Name() const
{
    return m_nameEdit->text();
}

CCategoriesDlg::CCategoriesDlg(app::CKelmoraApp& app, QWidget* parent)
    : QDialog(parent), m_app(app), m_categoryList(new QListWidget(this)),
      m_addButton(new QPushButton(QStringLiteral("&Add new..."), this)),
      m_renameButton(new QPushButton(QStringLiteral("&Rename..."), this)),
      m_deleteButton(new QPushButton(QStringLiteral("&Delete"), this))
{
    setObjectName("taskCategoriesDlg");
    setWindowTitle(QStringLiteral("Task Categories"));
    setWindowIcon(app::MakeIcon(app::IconKind::Program));

    m_categoryList->setObjectName("categoryList");
    m_categoryList->setSelectionMode(QAbstractItemView::SingleSelection);
    m_addButton->setObjectName("addButton");
    m_renameButton->setObjectName("renameButton");
    m_deleteButton->setObjectName("deleteButton");
    connect(m_addButton, &QPushButton::clicked, this, &CCategoriesDlg::OnAdd);
    connect(m_renameButton, &QPushButton::clicked, this, &CCategoriesDlg::OnRename);
    connect(m_deleteButton, &QPushButton::clicked, this, &CCategoriesDlg::OnDelete);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    buttons->setObjectName("buttonBox");
    QPushButton* ok = buttons->button(QDialogButtonBox::Ok);
    ok->setObjectName("okButton");
    ok->setDefault(true);
    buttons->button(QDialogButtonBox::Cancel)->setObjectName("cancelButton");
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto* side = new QVBoxLayout;
    side->addWidget(m_addButton);
    side->addWidget(m_renameButton);
    side->addWidget(m_deleteButton);
    side->addStretch(1);
    auto* top = new QHBoxLayout;
    top->addWidget(m_categoryList, 1);
    top->addLayout(side);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top, 1);
    layout->addWidget(buttons);

    setTabOrder(m_categoryList, m_addButton);
    setTabOrder(m_addButton, m_renameButton);
    setTabOrder(m_renameButton, m_deleteButton);
    setTabOrder(m_deleteButton, ok);
    m_categoryList->setFocus();

    FillList();
}

void CCategoriesDlg::FillList(std::int32_t selectId)
{
    m_categoryList->clear();
    std::vector<std::pair<QString, std::int32_t>> entries;
    const std::int32_t count = m_app.Store().CategoryCount();
    for (std::int32_t position = 0; position < count; ++position) {
        const std::int32_t id = m_app.Store().CategoryIdAt(position);
        model::Category category;
        if (!category.SetId(id) || !category.Load(m_app.DataFolder())) {
            // One message per fill rather than one per damaged entry; the list keeps what was read.
            m_app.ShowMessage(this, QStringLiteral("Failed to load category with id = %1").arg(id), app::kErrorCaption,
                              app::MessageIcon::Error);
            break;
        }
        entries.emplace_back(QString::fromStdString(category.GetName()), id);
    }
    // The way a user looks a name up: letters before case; equal names keep catalogue order.
    std::stable_sort(entries.begin(), entries.end(), [](const auto& left, const auto& right) {
        const int byLetters = QString::compare(left.first, right.first, Qt::CaseInsensitive);
        return byLetters != 0 ? byLetters < 0 : QString::compare(left.first, right.first) < 0;
    });
    for (const auto& [name, id] : entries) {
        auto* item = new QListWidgetItem(name, m_categoryList);
        item->setData(Qt::UserRole, id);
        if (id == selectId) {
            m_categoryList->setCurrentItem(item);
        }
    }
    // Posted after a failed fill too: the catalogue may have changed before it (a category just deleted),
    // and the Task List window must not keep offering what is gone. Its refill reads the file itself.
    app::PostMessage(m_app.MainWnd(), app::kMsgCategoriesChanged);
}

bool CCategoriesDlg::AskName(QString& name)
{
    CCategoryNameDlg dialog(this);
    dialog.SetName(name);
    if (dialog.exec() != QDialog::Accepted) {
        return false;
    }
    name = dialog.Name();
    return true;
}

std::int32_t CCategoriesDlg::SelectedIdOrComplain(const QString& text)
{
    const QList<QListWidgetItem*> selected = m_categoryList->selectedItems();
    if (selected.isEmpty()) {
        m_app.ShowMessage(this, text, kNoSelectionCaption, app::MessageIcon::Warning);
        m_categoryList->setFocus();
        return -1;
    }
    return selected.front()->data(Qt::UserRole).toInt();
}

void CCategoriesDlg::OnAdd()
{
    QString name;
    if (!AskName(name)) {
        return;
    }
    const std::int32_t id = m_app.Store().CreateCategory(name.toStdString());
    if (id < 0) {
        m_app.ShowMessage(this, QStringLiteral("Failed to create category \"%1\"").arg(name), app::kErrorCaption,
                          app::MessageIcon::Error);
        return;
    }
    FillList(id);
}

void CCategoriesDlg::OnRename()
{
    const std::int32_t id = SelectedIdOrComplain(QStringLiteral("Select category to rename it"));
    if (id < 0) {
        return;
    }
    QString name = m_categoryList->selectedItems().front()->text();
    model::Category category;
    if (!category.SetId(id) || !category.Load(m_app.DataFolder())) {
        m_app.ShowMessage(this, QStringLiteral("Failed to load category \"%1\"").arg(name), app::kErrorCaption,
                          app::MessageIcon::Error);
        return;
    }
    if (!AskName(name)) {
        return;
    }
    category.SetName(name.toStdString());
    if (!category.Save(m_app.DataFolder())) {
        m_app.ShowMessage(this, QStringLiteral("Failed to save category \"%1\"").arg(name), app::kErrorCaption,
                          app::MessageIcon::Error);
        return;
    }
    FillList(id);
}

void CCategoriesDlg::OnDelete()
{
    const std::int32_t id = SelectedIdOrComplain(QStringLiteral("Select category to delete it"));
    if (id < 0) {
        return;
    }
    // No is the default and Escape cancels: Enter or a slip must not delete every task of the category.
    const app::Answer answer = m_app.AskYesNoCancel(
        this,
        QStringLiteral("Do you want to delete all tasks from this category? Press \"Yes\" if you want to delete "
                       "category and all tasks from it, press \"No\" if you want to delete only category and leave "
                       "the tasks."),
        QStringLiteral("Delete Category"));
    if (answer == app::Answer::Cancel) {
        return;
    }
    if (answer == app::Answer::Yes) {
        StopCurrentTaskIfMemberOf(id);
        if (!m_app.Store().DeleteTasksOfCategory(id)) {
            m_app.ShowMessage(this, QStringLiteral("Failed to delete tasks from category"), app::kErrorCaption,
                              app::MessageIcon::Error);
        }
    }
    if (!m_app.Store().DeleteCategory(id)) {
        m_app.ShowMessage(this, QStringLiteral("Failed to delete category"), app::kErrorCaption,
                          app::MessageIcon::Error);
    }
    FillList();
}

// A tracked task whose file is deleted would stay current with nothing behind it, and the tray would go on
// showing it running. It is stopped and let go first, as the Task List window does before deleting a task.
void CCategoriesDlg::StopCurrentTaskIfMemberOf(std::int32_t categoryId)
{
    const std::int32_t current = m_app.CurrentTaskId();
    if (current < 0) {
        return;
    }
    model::Category category;
    if (category.SetId(categoryId) && category.Load(m_app.DataFolder()) && category.HasTask(current)) {
        app::StopCurrentTask(m_app);
    }
}

} // namespace kelmora::ui
