#include "app/compilation_views.h"

#include <QApplication>
#include <QLineEdit>
#include <QListWidget>
#include <QStyle>
#include <QTreeWidget>

#include <fmt/format.h>

#include "app/busy_cursor.h"
#include "app/qt_text.h"
#include "app/size_text.h"
#include "engine/compilation/date_time.h"
#include "engine/compilation/names.h"

namespace tavrin::app {
namespace {

constexpr int kIconRole = Qt::UserRole;
constexpr int kNameRole = Qt::UserRole + 1;  // the entry's name as the engine has it, GBK
constexpr std::size_t kTypedNameBytes = 106;
constexpr std::size_t kSourceFileNameBytes = 107;
constexpr std::size_t kSourceFolderNameBytes = 127;
constexpr std::size_t kAliasBytes = 6;
constexpr uint8_t kFirstLeadByte = 0x81;
constexpr int kAllAttributes = 63;
constexpr const char* kAllFiles = "*.*";
constexpr const char* kRootText = "NEW";
constexpr const char* kRecycleBin = "RECYCLED";

constexpr const char* kInvalidName = "Invalid Name.";
constexpr const char* kSameNameRename = "Have the same name, can not rename.";
constexpr const char* kSameNameCreate = "Have the same name, can not Create.";

QIcon IconOf(int icon) {
    const QStyle::StandardPixmap pixmaps[] = {QStyle::SP_DriveCDIcon, QStyle::SP_DirIcon, QStyle::SP_FileIcon};
    return QApplication::style()->standardIcon(pixmaps[icon]);
}

template <typename Item>
std::string NameOf(const Item* item) {
    if constexpr (std::is_same_v<Item, QTreeWidgetItem>) return item->data(0, kNameRole).toByteArray().toStdString();
    else return item->data(kNameRole).toByteArray().toStdString();
}

// The date of an entry as the Property message shows it.
std::string DateText(TDateTime when) {
    const auto local = compilation::LocalFromDateTime(when);
    if (!local) return {};
    return fmt::format("{:04}-{:02}-{:02} {:02}:{:02}:{:02}", local->year, local->month, local->day, local->hour,
                       local->minute, local->second);
}

// A native local path cut at its last "/": the name; the root "/" has none.
std::string LastComponent(const std::string& source) {
    const auto slash = source.find_last_of('/');
    return slash == std::string::npos ? source : source.substr(slash + 1);
}

// The longest start of `text` that fits `bytes` without splitting a double-byte
// character.
std::string CutToBytes(const std::string& text, std::size_t bytes) {
    std::size_t cut = 0;
    while (cut < text.size()) {
        const std::size_t length = static_cast<uint8_t>(text[cut]) >= kFirstLeadByte && cut + 1 < text.size() ? 2 : 1;
        if (cut + length > bytes) break;
        cut += length;
    }
    return text.substr(0, cut);
}

}  // namespace

std::string NormalisedPath(const std::string& folderPath) {
    if (folderPath.size() <= 1) return folderPath;
    return folderPath.substr(1) + "\\";
}

std::string AliasOf(const std::string& newName) {
    const auto dot = newName.find_last_of('.');
    const std::string extension = dot == std::string::npos ? std::string() : newName.substr(dot);
    return CutToBytes(newName, kAliasBytes) + "~1" + extension;
}

CompilationViews::CompilationViews(TvxCDBurner& burner, QTreeWidget& tree, QListWidget& list, QLineEdit& path,
                                   ViewHooks hooks)
    : burner_(burner), tree_(tree), list_(list), path_(path), hooks_(std::move(hooks)) {
    QObject::connect(&tree_, &QTreeWidget::currentItemChanged, &tree_,
                     [this](QTreeWidgetItem* node) { ShowFolder(node); });
    QObject::connect(&tree_, &QTreeWidget::itemExpanded, &tree_, [this](QTreeWidgetItem* node) { Expanded(node); });
    QObject::connect(&tree_, &QTreeWidget::itemChanged, &tree_, [this](QTreeWidgetItem* node) {
        if (!editing_) TreeNameEdited(node);
    });
    QObject::connect(&list_, &QListWidget::itemChanged, &list_, [this](QListWidgetItem* item) {
        if (!editing_) ListNameEdited(item);
    });
    // A folder the engine leaves out is not added at all.
    burner_.OnAddDir = [this](TvxCDBurner&, std::string& longName, std::string&, bool& skip) {
        if (compilation::EqualIgnoringAsciiCase(longName, kRecycleBin)) {
            burner_.DebugMsg(">>> SKIPING RECYCLE BIN", 0);
            skip = true;
            return;
        }
        if (longName.size() > kSourceFolderNameBytes) skip = true;
    };
    burner_.OnAddFile = [this](TvxCDBurner&, const std::string&, std::string& longName, std::string&, TDateTime&,
                               uint32_t, uint64_t, bool& skip) {
        if (longName.size() > kSourceFileNameBytes) {
            skip = true;
            return;
        }
        if (hooks_.showTotalSize) hooks_.showTotalSize();
    };
    ResetTree();
}

QTreeWidgetItem* CompilationViews::AddFolderNode(QTreeWidgetItem* parent, const std::string& name) {
    auto* node = new QTreeWidgetItem(QStringList{FromGbk(name)});
    node->setData(0, kNameRole, QByteArray::fromStdString(name));
    node->setData(0, kIconRole, parent == nullptr ? kRootIcon : kFolderIcon);
    node->setIcon(0, IconOf(parent == nullptr ? kRootIcon : kFolderIcon));
    node->setFlags(node->flags() | Qt::ItemIsEditable);
    editing_ = true;
    if (parent == nullptr) {
        tree_.addTopLevelItem(node);
    } else {
        parent->addChild(node);
    }
    editing_ = false;
    return node;
}

QListWidgetItem* CompilationViews::AddListItem(const std::string& name, int icon) {
    auto* item = new QListWidgetItem(IconOf(icon), FromGbk(name));
    item->setData(kNameRole, QByteArray::fromStdString(name));
    item->setData(kIconRole, icon);
    item->setFlags(item->flags() | Qt::ItemIsEditable);
    editing_ = true;
    list_.addItem(item);
    editing_ = false;
    return item;
}

void CompilationViews::ResetTree() {
    editing_ = true;
    tree_.clear();
    list_.clear();
    editing_ = false;
    QTreeWidgetItem* root = AddFolderNode(nullptr, kRootText);
    tree_.setCurrentItem(root);
    path_.setText("\\");
}

std::string CompilationViews::FolderPath(const QTreeWidgetItem* node) const {
    if (node == nullptr || node->parent() == nullptr) return "\\";
    return FolderPath(node->parent()) + "\\" + NameOf(node);
}

QTreeWidgetItem* CompilationViews::SelectedNode() const { return tree_.currentItem(); }

bool CompilationViews::IsFolderNode(const QTreeWidgetItem* node) const {
    if (node == nullptr) return false;
    const int icon = node->data(0, kIconRole).toInt();
    return icon == kRootIcon || icon == kFolderIcon;
}

void CompilationViews::ShowFolder(QTreeWidgetItem* node) {
    if (node == nullptr) return;
    const BusyCursor busy;
    const bool root = node->parent() == nullptr;
    const std::string parent = NormalisedPath(FolderPath(node->parent()));
    path_.setText(root ? QString("\\") : FromGbk(parent + NameOf(node) + "\\"));
    list_.setUpdatesEnabled(false);
    editing_ = true;
    list_.clear();
    editing_ = false;
    const PDirEntry dir = root ? burner_.Root() : burner_.FindDir(NormalisedPath(FolderPath(node)));
    for (const int wanted : {kEntrySubdirectory, kEntryFile}) {
        int kind = 0;
        for (PFileEntry cursor = nullptr; burner_.GetNextEntry(dir, kind, cursor);) {
            if (kind == wanted) AddListItem(cursor->LongName, wanted == kEntrySubdirectory ? kFolderIcon : kFileIcon);
        }
    }
    list_.setUpdatesEnabled(true);
}

void CompilationViews::LoadSubfolders(QTreeWidgetItem* node) {
    const PDirEntry dir = node->parent() == nullptr ? burner_.Root() : burner_.FindDir(NormalisedPath(FolderPath(node)));
    if (dir == nullptr) return;
    const BusyCursor busy;
    editing_ = true;
    qDeleteAll(node->takeChildren());
    editing_ = false;
    int kind = 0;
    for (PFileEntry cursor = nullptr; burner_.GetNextEntry(dir, kind, cursor);) {
        if (kind == kEntrySubdirectory) AddFolderNode(node, cursor->LongName);
    }
}

void CompilationViews::Expanded(QTreeWidgetItem* node) {
    if (bulkInsert) return;
    for (int i = 0; i < node->childCount(); ++i) {
        if (node->child(i)->childCount() == 0) LoadSubfolders(node->child(i));
    }
}

void CompilationViews::New() {
    ResetTree();
    burner_.StripSourcePath = true;
    burner_.ClearAll(kMaxFiles, kMaxDirs);
    if (tree_.isVisible()) tree_.setFocus();
}

void CompilationViews::AddSourceItem(QTreeWidgetItem* node, const std::string& folderPath, bool isFolder,
                                     const std::string& source) {
    // A drive root adds nothing.
    if (source.empty() || source == "/") return;
    const std::string name = LastComponent(source);
    if (name.empty() || burner_.FindFile(folderPath, name) != nullptr) return;
    if (isFolder) {
        burner_.InsertDir(folderPath, source + "/", kAllFiles, kAllAttributes, true, true, hooks_.archiveFiles());
        // The engine left it out (its name, or RECYCLED): nothing to show.
        if (burner_.FindFile(folderPath, name) == nullptr) return;
        LoadSubfolders(AddFolderNode(node, name));
        if (node == SelectedNode()) AddListItem(name, kFolderIcon);
        return;
    }
    burner_.InsertFile(folderPath, source, false);
    if (burner_.FindFile(folderPath, name) != nullptr && node == SelectedNode()) AddListItem(name, kFileIcon);
}

void CompilationViews::ShowAdded(QTreeWidgetItem* node) {
    if (node->isExpanded()) return;
    node->setExpanded(true);
    for (int i = 0; i < node->childCount(); ++i) node->child(i)->setExpanded(false);
}

QTreeWidgetItem* CompilationViews::ChildNamed(QTreeWidgetItem* node, const QString& text) const {
    for (int i = 0; i < node->childCount(); ++i) {
        if (node->child(i)->text(0) == text) return node->child(i);
    }
    return nullptr;
}

void CompilationViews::Delete(View view) {
    QTreeWidgetItem* selected = SelectedNode();
    if (selected == nullptr) return;
    const BusyCursor busy;
    if (view == View::Tree) {
        if (selected->parent() == nullptr) return;
        const std::string parent = NormalisedPath(FolderPath(selected->parent()));
        if (selected->data(0, kIconRole).toInt() == kFolderIcon) {
            burner_.DeleteDir(parent + NameOf(selected) + "\\");
        } else {
            burner_.DeleteFile(parent, NameOf(selected));
        }
        QTreeWidgetItem* root = tree_.topLevelItem(0);
        delete selected;
        root->setExpanded(true);
    } else {
        if (list_.selectedItems().isEmpty()) return;
        const std::string folder = NormalisedPath(FolderPath(selected));
        for (int row = list_.count() - 1; row >= 0; --row) {
            QListWidgetItem* item = list_.item(row);
            if (!item->isSelected()) continue;
            delete ChildNamed(selected, item->text());
            if (item->data(kIconRole).toInt() == kFolderIcon) {
                burner_.DeleteDir(folder + NameOf(item) + "\\");
            } else {
                burner_.DeleteFile(folder, NameOf(item));
            }
            delete item;
        }
    }
    hooks_.showTotalSize();
}

void CompilationViews::Clear() {
    const BusyCursor busy;
    burner_.ClearAll(kMaxFiles, kMaxDirs);
    QTreeWidgetItem* root = tree_.topLevelItem(0);
    editing_ = true;
    qDeleteAll(root->takeChildren());
    list_.clear();
    editing_ = false;
    root->setExpanded(true);
    tree_.setCurrentItem(root);
    hooks_.showTotalSize();
}

void CompilationViews::Rename(View view) {
    if (view == View::Tree) {
        if (QTreeWidgetItem* node = SelectedNode()) tree_.editItem(node);
        return;
    }
    const auto selected = list_.selectedItems();
    if (!selected.isEmpty()) list_.editItem(list_.currentItem() != nullptr ? list_.currentItem() : selected.front());
}

std::optional<std::string> CompilationViews::CheckedName(const QString& typed) {
    if (typed.isEmpty()) return std::nullopt;
    const std::string name = ToGbk(typed);
    if (name.find('\\') != std::string::npos) {
        hooks_.message(kInvalidName);
        return std::nullopt;
    }
    return CutToBytes(name, kTypedNameBytes);
}

bool CompilationViews::RenameEntry(const std::string& folder, const std::string& oldName, const std::string& newName,
                                   bool isFolder) {
    if (burner_.FindFile(folder, newName) != nullptr) {
        hooks_.message(kSameNameRename);
        return false;
    }
    const BusyCursor busy;
    if (!isFolder) return burner_.RenameFile(folder, oldName, AliasOf(newName), newName);
    burner_.InsertDir(folder, "\\" + newName + "\\", kAllFiles, kAllAttributes, true, true, hooks_.archiveFiles());
    burner_.CopyDir(folder + newName + "\\", folder + oldName + "\\", hooks_.archiveFiles());
    return burner_.DeleteDir(folder + oldName + "\\");
}

void CompilationViews::TreeNameEdited(QTreeWidgetItem* node) {
    const std::string oldName = NameOf(node);
    const auto restore = [&] {
        editing_ = true;
        node->setText(0, FromGbk(oldName));
        editing_ = false;
    };
    if (node->text(0) == FromGbk(oldName)) return;
    const auto newName = CheckedName(node->text(0));
    if (!newName) return restore();
    editing_ = true;
    node->setText(0, FromGbk(*newName));
    node->setData(0, kNameRole, QByteArray::fromStdString(*newName));
    editing_ = false;
    // The root's text is its own: it names no folder.
    if (node->parent() == nullptr) return;
    const std::string folder = NormalisedPath(FolderPath(node->parent()));
    if (!RenameEntry(folder, oldName, *newName, true)) {
        editing_ = true;
        node->setData(0, kNameRole, QByteArray::fromStdString(oldName));
        editing_ = false;
        return restore();
    }
    path_.setText(FromGbk(folder + *newName + "\\"));
}

void CompilationViews::ListNameEdited(QListWidgetItem* item) {
    const std::string oldName = NameOf(item);
    const auto restore = [&] {
        editing_ = true;
        item->setText(FromGbk(oldName));
        editing_ = false;
    };
    if (item->text() == FromGbk(oldName)) return;
    const auto newName = CheckedName(item->text());
    QTreeWidgetItem* selected = SelectedNode();
    if (!newName || selected == nullptr) return restore();
    const std::string folder = NormalisedPath(FolderPath(selected));
    const bool isFolder = item->data(kIconRole).toInt() == kFolderIcon;
    if (!RenameEntry(folder, oldName, *newName, isFolder)) return restore();
    editing_ = true;
    if (QTreeWidgetItem* node = ChildNamed(selected, FromGbk(oldName))) {
        node->setText(0, FromGbk(*newName));
        node->setData(0, kNameRole, QByteArray::fromStdString(*newName));
    }
    item->setText(FromGbk(*newName));
    item->setData(kNameRole, QByteArray::fromStdString(*newName));
    editing_ = false;
}

void CompilationViews::CreateFolder() {
    QTreeWidgetItem* selected = SelectedNode();
    if (!IsFolderNode(selected)) return;
    const auto answer = hooks_.askName(QString::fromUtf8("建立文件夹"), QString::fromUtf8("请输入最多106字符"));
    if (!answer || answer->trimmed().isEmpty()) return;
    const std::string typed = ToGbk(*answer);
    if (typed.find('\\') != std::string::npos) {
        hooks_.message(kInvalidName);
        return;
    }
    const std::string name = CutToBytes(typed, kTypedNameBytes);
    const std::string folder = NormalisedPath(FolderPath(selected));
    if (burner_.FindFile(folder, name) != nullptr) {
        hooks_.message(kSameNameCreate);
        return;
    }
    burner_.InsertDir(folder, folder + name + "\\", kAllFiles, kAllAttributes, true, true, hooks_.archiveFiles());
    AddFolderNode(selected, name);
    selected->setExpanded(true);
    AddListItem(name, kFolderIcon)->setSelected(true);
}

void CompilationViews::SelectAll() { list_.selectAll(); }

uint64_t CompilationViews::FolderSize(const std::string& folder) const {
    uint64_t bytes = 0;
    int kind = 0;
    for (PFileEntry cursor = nullptr; burner_.GetNextEntry(burner_.FindDir(folder), kind, cursor);) {
        bytes += kind == kEntrySubdirectory ? FolderSize(folder + cursor->LongName + "\\") : cursor->Size;
    }
    return bytes;
}

void CompilationViews::Property(View view) {
    QTreeWidgetItem* selected = SelectedNode();
    if (selected == nullptr) return;
    const BusyCursor busy;
    uint64_t bytes = 0;
    std::string date;
    std::string name;
    int count = 0;
    const auto add = [&](const std::string& folder, const std::string& entry, bool isFolder) {
        const PFileEntry found = burner_.FindFile(folder, entry);
        if (found != nullptr) date = DateText(found->DateTime);
        bytes += isFolder ? FolderSize(folder + entry + "\\") : (found != nullptr ? found->Size : 0);
        name = entry;
        ++count;
    };
    if (view == View::Tree) {
        for (QTreeWidgetItem* node : tree_.selectedItems()) {
            if (node->parent() == nullptr || node->parent()->isSelected()) continue;
            add(NormalisedPath(FolderPath(node->parent())), NameOf(node), node->data(0, kIconRole).toInt() == kFolderIcon);
        }
    } else {
        const std::string folder = NormalisedPath(FolderPath(selected));
        for (QListWidgetItem* item : list_.selectedItems()) {
            add(folder, NameOf(item), item->data(kIconRole).toInt() == kFolderIcon);
        }
    }
    if (count == 0) return;
    const std::string size = "Size: " + SizeText(static_cast<int64_t>(bytes));
    if (count > 1) return hooks_.message(FromGbk(size));
    hooks_.message(FromGbk("Name: " + name + "\r\n\r\n" + size + "\r\n\r\nDate: " + date));
}

}  // namespace tavrin::app
