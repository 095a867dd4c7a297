#pragma once

#include <QList>
#include <QString>

#include "ui/grid/ReportGrid.h"

namespace miravel::test {

// Column numbers of SampleColumns().
enum SampleColumn {
  kTick = 0,       // centred, editable check box
  kName = 1,       // editable text
  kLinkType = 2,   // drop-down, free text allowed
  kNumber = 3,     // editable number
  kProgress = 4,   // progress bar, maximum 100
  kStatus = 5,     // image
  kPrivilege = 6,  // drop-down, offered values only
  kSelect = 7,     // check box at the left, editable
  kFlag = 8,       // hidden text, sorted as numbers
  kSampleColumnCount
};

// One column of every kind, as the windows declare theirs.
inline QList<GridColumn> SampleColumns() {
  return {
      {.caption = "Bağlan",
       .kind = ColumnKind::CheckBox,
       .width = 51,
       .editable = true,
       .centred = true},
      {.caption = "Cihaz Adı", .kind = ColumnKind::Text, .width = 122, .editable = true},
      {.caption = "Bağ.Tipi",
       .kind = ColumnKind::DropDown,
       .width = 90,
       .editable = true,
       .items = {"Ethernet", "Comm Port"}},
      {.caption = "Chz.No", .kind = ColumnKind::Number, .width = 51, .editable = true},
      {.caption = "Transfer Durumu", .kind = ColumnKind::Progress, .width = 105},
      {.caption = "Durum", .kind = ColumnKind::Image, .width = 72},
      {.caption = "Yetki",
       .kind = ColumnKind::DropDown,
       .width = 90,
       .editable = true,
       .items = {"Normal", "Kayıtçı", "Yetkili", "Supervizor"},
       .freeText = false},
      {.caption = "Seç", .kind = ColumnKind::CheckBox, .width = 40, .editable = true},
      {.caption = "durum",
       .kind = ColumnKind::Text,
       .width = 40,
       .hidden = true,
       .numericSort = true},
  };
}

}  // namespace miravel::test
