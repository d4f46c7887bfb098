#include "app/add_dialog.h"

#include <QAction>
#include <QApplication>
#include <QFileSystemModel>
#include <QHBoxLayout>
#include <QItemSelectionModel>
#include <QListView>
#include <QPushButton>
#include <QSplitter>
#include <QTreeView>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "app/compilation_views.h"
#include "app/busy_cursor.h"
#include "app/qt_text.h"

namespace tavrin::app {
namespace {

QAction* Shortcut(QWidget* owner, const QString& text, const QKeySequence& keys) {
    auto* action = new QAction(text, owner);
    action->setShortcut(keys);
    owner->addAction(action);
    return action;
}

}  // namespace

AddDialog::AddDialog(CompilationViews& views, QWidget* parent)
    : QDialog(parent),
      views_(views),
      folderModel_(new QFileSystemModel(this)),
      itemModel_(new QFileSystemModel(this)),
      folders_(new QTreeView(this)),
      items_(new QListView(this)) {
    setObjectName("AddDialog");
    setWindowTitle(QString::fromUtf8("增加"));
    setModal(true);
    folderModel_->setFilter(QDir::AllDirs | QDir::NoDotAndDotDot | QDir::Hidden);
    folderModel_->setRootPath("/");
    itemModel_->setFilter(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden);
    itemModel_->setRootPath("/");
    folders_->setObjectName("shellTree");
    folders_->setModel(folderModel_);
    for (int column = 1; column < folderModel_->columnCount(); ++column) folders_->hideColumn(column);
    folders_->setHeaderHidden(true);
    items_->setObjectName("shellList");
    items_->setModel(itemModel_);
    items_->setSelectionMode(QAbstractItemView::ExtendedSelection);
    items_->setContextMenuPolicy(Qt::ActionsContextMenu);
    connect(folders_->selectionModel(), &QItemSelectionModel::currentChanged, this, [this](const QModelIndex& index) {
        items_->setRootIndex(itemModel_->index(folderModel_->filePath(index)));
    });
    connect(folders_, &QTreeView::doubleClicked, this, &AddDialog::Add);
    connect(items_, &QListView::doubleClicked, this, &AddDialog::Add);

    auto* splitter = new QSplitter(this);
    splitter->addWidget(folders_);
    splitter->addWidget(items_);
    splitter->setStretchFactor(1, 1);
    auto* buttons = new QHBoxLayout;
    const auto button = [this, buttons](const char* text, auto slot) {
        auto* b = new QPushButton(QString::fromUtf8(text), this);
        b->setAutoDefault(false);
        connect(b, &QPushButton::clicked, this, slot);
        buttons->addWidget(b);
        return b;
    };
    button("增加", &AddDialog::Add);
    button("反选", &AddDialog::SelectInverse);
    button("清除选择", &AddDialog::Unselect);
    button("全选", &AddDialog::SelectAll);
    buttons->addStretch(1);
    // OK, also on Esc: the dialog only closes.
    button("确定", &QDialog::accept);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(splitter, 1);
    layout->addLayout(buttons);

    connect(Shortcut(this, "Add", QKeySequence("Ctrl+D")), &QAction::triggered, this, &AddDialog::Add);
    connect(Shortcut(this, "Select All", QKeySequence("Ctrl+A")), &QAction::triggered, this, &AddDialog::SelectAll);
    connect(Shortcut(this, "Unselect", QKeySequence("Ctrl+U")), &QAction::triggered, this, &AddDialog::Unselect);
    connect(Shortcut(this, "Select Inverse", QKeySequence("Ctrl+I")), &QAction::triggered, this,
            &AddDialog::SelectInverse);
    for (QAction* action : actions()) items_->addAction(action);
    resize(720, 480);
    Open(QDir::homePath());
}

void AddDialog::Open(const QString& folder) {
    const QModelIndex index = folderModel_->index(folder);
    folders_->setCurrentIndex(index);
    folders_->scrollTo(index);
    items_->setRootIndex(itemModel_->index(folder));
}

void AddDialog::Add() {
    QTreeWidgetItem* target = views_.SelectedNode();
    if (!views_.IsFolderNode(target)) return;
    const BusyCursor busy;
    const std::string folder = NormalisedPath(views_.FolderPath(target));
    views_.bulkInsert = true;
    if (!items_->hasFocus()) {
        const QModelIndex index = folders_->currentIndex();
        if (index.isValid()) views_.AddSourceItem(target, folder, true, ToGbk(folderModel_->filePath(index)));
    } else {
        QModelIndexList selected = items_->selectionModel()->selectedIndexes();
        std::sort(selected.begin(), selected.end(), [](const QModelIndex& a, const QModelIndex& b) {
            return a.row() < b.row();
        });
        for (const QModelIndex& index : selected) {
            views_.AddSourceItem(target, folder, itemModel_->isDir(index), ToGbk(itemModel_->filePath(index)));
            items_->selectionModel()->select(index, QItemSelectionModel::Deselect);
        }
    }
    views_.ShowAdded(target);
    views_.bulkInsert = false;
}

void AddDialog::SelectEveryItem(QItemSelectionModel::SelectionFlag how) {
    const QModelIndex root = items_->rootIndex();
    for (int row = 0; row < itemModel_->rowCount(root); ++row) {
        items_->selectionModel()->select(itemModel_->index(row, 0, root), how);
    }
}

void AddDialog::SelectAll() { SelectEveryItem(QItemSelectionModel::Select); }

void AddDialog::Unselect() { items_->clearSelection(); }

void AddDialog::SelectInverse() { SelectEveryItem(QItemSelectionModel::Toggle); }

}  // namespace tavrin::app
