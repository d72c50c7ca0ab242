#include "platform/qw_winsys.h"

namespace qwp {

int32_t RunDrawnMessageBox(WindowSystem& ws, const MessageBoxRequest& request)
{
    (void)ws;
    return MessageBoxCancelResult(request.buttons);
}

}  // namespace qwp
