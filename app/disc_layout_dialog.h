// The compilation as it will be written: its folders on the left, the selected
// folder's entries with sizes and dates on the right; files and folders may be
// deleted here.
#pragma once

#include <functional>

#include <QDialog>

#include "engine/compilation/burner.h"

class QTableWidget;
class QTreeWidget;
class QTreeWidgetItem;

namespace tavrin::app {

class TfrmDiscLayout : public QDialog {
public:
    TfrmDiscLayout(TvxCDBurner& burner, std::function<void(const QString&)> message, QWidget* parent);

    // Deletes the grid row's file; a folder row is refused with a message.
    void DeleteRow(int row);
    // Deletes the selected folder of the tree (the engine refuses the root).
    void DeleteFolder();
    // The tree built again from the compilation.
    void Refresh();
    void ShowFolder(QTreeWidgetItem* node);

    QTreeWidget* tree() const { return tree_; }
    QTableWidget* grid() const { return grid_; }

private:
    PDirEntry SelectedDir() const;
    void Message(const QString& text);

    TvxCDBurner& burner_;
    std::function<void(const QString&)> message_;
    QTreeWidget* tree_;
    QTableWidget* grid_;
};

}  // namespace tavrin::app
