// The preferences: a tree of pages of writing options, created once and only hidden
// when closed, so that its check boxes keep their state for the whole run. The
// commands that write read three of them where they stand; OK passes the cache size.
#pragma once

#include <QDialog>

#include "engine/compilation/burner.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QSlider;
class QStackedWidget;
class QTreeWidget;

namespace tavrin::app {

class TfrmPreferences : public QDialog {
public:
    TfrmPreferences(TvxCDBurner& burner, QWidget* parent);

    bool Joliet() const;
    bool EjectAfterBurn() const;
    bool EjectAfterErase() const;

    // Chooses the page at `position` of the tree (0 General, 2 data write settings).
    void ChoosePage(int position);
    // OK: the cache in decimal megabytes, then hidden.
    void Ok();

    QCheckBox* chkJoliet() const { return chkJoliet_; }
    QCheckBox* chkEjectBurn() const { return chkEjectBurn_; }
    QCheckBox* chkEjectErase() const { return chkEjectErase_; }
    QSlider* tkbCacheSize() const { return tkbCacheSize_; }
    QLabel* lblCacheSize() const { return lblCacheSize_; }
    QComboBox* generalRecorders() const { return generalRecorders_; }
    QComboBox* dataSpeeds() const { return dataSpeeds_; }
    QLabel* lblBurner() const { return lblBurner_; }

private:
    QWidget* GeneralPage();
    QWidget* DataWritePage();
    QWidget* VolumePage();
    void FillGeneral();
    void FillDataWrite();

    TvxCDBurner& burner_;
    QTreeWidget* pages_;
    QStackedWidget* stack_;
    QCheckBox* chkJoliet_ = nullptr;
    QCheckBox* chkEjectBurn_ = nullptr;
    QCheckBox* chkEjectErase_ = nullptr;
    QSlider* tkbCacheSize_ = nullptr;
    QLabel* lblCacheSize_ = nullptr;
    QLabel* lblBurner_ = nullptr;
    QComboBox* generalRecorders_ = nullptr;
    QLabel* dataBurner_ = nullptr;
    QLabel* dataLetter_ = nullptr;
    QComboBox* dataSpeeds_ = nullptr;
    bool generalFilled_ = false;
    bool dataFilled_ = false;
};

}  // namespace tavrin::app
