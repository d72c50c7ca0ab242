// The direct filter's kernels at the AVX2 level (qwf_imagefx_direct_256.h).
#define QW_DIRECT_TARGET QW_AVX2
#define QW_DIRECT_MASKS 0
#include "framework/imaging/qwf_imagefx_direct_256.h"

namespace qwf_fx {
namespace direct {

constinit const DirectKernels kDirectAvx2 = {Row256, Columns256};

}  // namespace direct
}  // namespace qwf_fx
