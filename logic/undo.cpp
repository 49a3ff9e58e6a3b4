#include "logic/undo.h"

namespace velkora {

PlatformError combineWithRollbackFailure(const PlatformError& original,
                                         const PlatformError& rollbackFailure) {
    return PlatformError(original.number(),
                         original.description() + L"\r\n恢复原值失败（错误 " +
                             errorNumberText(rollbackFailure.number()) + L"）：" +
                             rollbackFailure.description(),
                         true, original.call());
}

} // namespace velkora
