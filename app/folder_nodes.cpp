#include "app/folder_nodes.h"

#include "app/qt_text.h"
#include "engine/sessions/session_list.h"

namespace tavrin::app {
namespace {

constexpr uint32_t kFolderAttr = 16;
constexpr int kDirRole = Qt::UserRole;

}  // namespace

void AddFolderNodes(const TvxCDBurner& burner, QTreeWidgetItem* node, PDirEntry dir) {
    node->setData(0, kDirRole, QVariant::fromValue<void*>(dir));
    int kind = 0;
    for (PFileEntry cursor = nullptr; burner.GetNextEntry(dir, kind, cursor);) {
        if (cursor->Attr != kFolderAttr || cursor->Dir == nullptr) continue;
        AddFolderNodes(burner, new QTreeWidgetItem(node, QStringList{FromGbk(cursor->LongName)}), cursor->Dir);
    }
}

PDirEntry DirOfNode(const QTreeWidgetItem* node) {
    return node == nullptr ? nullptr : static_cast<PDirEntry>(node->data(0, kDirRole).value<void*>());
}

bool IsFolderEntry(const TFEntry& entry) { return (entry.Attr & kFolderAttr) != 0; }

QString EntrySizeText(const TFEntry& entry) {
    if (IsFolderEntry(entry)) return " < DIR > ";
    return QString::fromStdString(sessions::Pad(9, ' ', static_cast<int64_t>(entry.Size)));
}

}  // namespace tavrin::app
