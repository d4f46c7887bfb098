// The folders of a compilation as tree nodes, for the dialogs that show a
// compilation as it stands (the disc layout, the session browser): one node per
// child entry whose attributes are exactly 16, recursively, each keeping its
// directory.
#pragma once

#include <QTreeWidgetItem>

#include "engine/compilation/burner.h"

namespace tavrin::app {

// `node` stands for `dir`; its folders are added below it.
void AddFolderNodes(const TvxCDBurner& burner, QTreeWidgetItem* node, PDirEntry dir);
// The directory a node stands for; none for a node without one.
PDirEntry DirOfNode(const QTreeWidgetItem* node);

// An entry with the folder flag.
bool IsFolderEntry(const TFEntry& entry);
// The size column of a grid: " < DIR > " for a folder, else the size right-aligned in 9.
QString EntrySizeText(const TFEntry& entry);

}  // namespace tavrin::app
