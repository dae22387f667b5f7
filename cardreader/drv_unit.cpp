#include "cardreader/drv_unit.h"

#include "cardreader/ReaderLibrary.h"

namespace drv_unit {

int32_t icdev = 0;
int16_t st = 0;

void quit() {
  if (icdev <= 0) return;
  if (quorl::ReaderLibrary* reader = quorl::BoundReaderLibrary()) {
    st = reader->dc_reset(icdev, 10);
    st = reader->dc_exit(icdev);
  } else {
    st = -1;
  }
  icdev = -1;
}

}  // namespace drv_unit
