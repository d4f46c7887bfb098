// The Add dialog: the local folders on the left, the selected folder's folders and
// files on the right; Add puts the left folder, or the items selected on the right,
// into the folder selected in the main window.
#pragma once

#include <QDialog>
#include <QItemSelectionModel>

class QFileSystemModel;
class QListView;
class QTreeView;

namespace tavrin::app {

class CompilationViews;

class AddDialog : public QDialog {
public:
    AddDialog(CompilationViews& views, QWidget* parent);

    // Shows this local folder on both sides.
    void Open(const QString& folder);
    void Add();
    void SelectAll();
    void Unselect();
    void SelectInverse();

    QTreeView* folders() const { return folders_; }
    QListView* items() const { return items_; }

private:
    void SelectEveryItem(QItemSelectionModel::SelectionFlag how);

    CompilationViews& views_;
    QFileSystemModel* folderModel_;
    QFileSystemModel* itemModel_;
    QTreeView* folders_;
    QListView* items_;
};

}  // namespace tavrin::app
