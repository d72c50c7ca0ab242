// The direct filter's kernels at the AVX-512 level (qwf_imagefx_direct_256.h).
#define QW_DIRECT_TARGET QW_AVX512
#define QW_DIRECT_MASKS 1
#include "framework/imaging/qwf_imagefx_direct_256.h"

namespace qwf_fx {
namespace direct {

constinit const DirectKernels kDirectAvx512 = {Row256, Columns256};

}  // namespace direct
}  // namespace qwf_fx
