// The compilation as the window shows it: the folder tree (folders only, loaded one
// level beyond what is expanded) and the list of the selected folder's entries,
// kept in step with the engine's compilation by the editing commands: New, adding
// local folders and files, Delete, Clear, Rename, Create Folder, Select All and
// Property.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include <QString>

#include "engine/compilation/burner.h"

class QLineEdit;
class QListWidget;
class QListWidgetItem;
class QTreeWidget;
class QTreeWidgetItem;

namespace tavrin::app {

// Which view a command acts on: the one with the keyboard focus.
enum class View { Tree, List };

// Icons of tree nodes and list items.
inline constexpr int kRootIcon = 0, kFolderIcon = 1, kFileIcon = 2;

// "\\A\\B" (FolderPath of a node) as "\\A\\B\\" without the doubled first
// separator; "\\" stays.
std::string NormalisedPath(const std::string& folderPath);

// The 8.3 alias of a renamed file: the first six bytes of the new name (five when a
// double-byte character would be cut), "~1", and the extension from the last ".".
std::string AliasOf(const std::string& newName);

struct ViewHooks {
    std::function<void(const QString&)> message;
    // Asks for a folder name; none when cancelled.
    std::function<std::optional<QString>(const QString& caption, const QString& prompt)> askName;
    std::function<bool()> archiveFiles;
    std::function<void()> showTotalSize;
};

class CompilationViews {
public:
    static constexpr int kMaxFiles = 600000;
    static constexpr int kMaxDirs = 20000;

    CompilationViews(TvxCDBurner& burner, QTreeWidget& tree, QListWidget& list, QLineEdit& path, ViewHooks hooks);

    // The root node alone, selected.
    void ResetTree();
    // The selected folder's entries into the list and its path into the path box.
    void ShowFolder(QTreeWidgetItem* node);
    void LoadSubfolders(QTreeWidgetItem* node);
    void Expanded(QTreeWidgetItem* node);

    // The compilation path of a node: "\\" for the root, else the parent's and the name.
    std::string FolderPath(const QTreeWidgetItem* node) const;
    QTreeWidgetItem* SelectedNode() const;
    // The root or a folder node: where an add goes.
    bool IsFolderNode(const QTreeWidgetItem* node) const;

    void New();
    // Adds a local folder or file (its native path, GBK) into the folder of `node`.
    void AddSourceItem(QTreeWidgetItem* node, const std::string& folderPath, bool isFolder, const std::string& source);
    // Expands the node and collapses its children, after a batch of adds.
    void ShowAdded(QTreeWidgetItem* node);
    void Delete(View view);
    void Clear();
    // Starts editing the selected node or item in place.
    void Rename(View view);
    void CreateFolder();
    void SelectAll();
    void Property(View view);

    // True while a batch of adds runs: expanding loads nothing then.
    bool bulkInsert = false;

private:
    void TreeNameEdited(QTreeWidgetItem* node);
    void ListNameEdited(QListWidgetItem* item);
    // The checks of a typed name; the new name cut to 106 bytes, or none with the
    // old text back in place.
    std::optional<std::string> CheckedName(const QString& typed);
    bool RenameEntry(const std::string& folder, const std::string& oldName, const std::string& newName, bool isFolder);
    QTreeWidgetItem* AddFolderNode(QTreeWidgetItem* parent, const std::string& name);
    QListWidgetItem* AddListItem(const std::string& name, int icon);
    QTreeWidgetItem* ChildNamed(QTreeWidgetItem* node, const QString& text) const;
    uint64_t FolderSize(const std::string& folder) const;

    TvxCDBurner& burner_;
    QTreeWidget& tree_;
    QListWidget& list_;
    QLineEdit& path_;
    ViewHooks hooks_;
    bool editing_ = false;  // a rename is being applied: the views' own changes are not edits
};

}  // namespace tavrin::app
