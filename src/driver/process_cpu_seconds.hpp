// CPU time of the running process, for the two durations of the report.
#pragma once

namespace tavro {

/// Kernel plus user CPU time of the current process so far, in seconds: the
/// two times in 100-ns units are added as 64-bit integers, and the sum is
/// divided by 10000000.0 in double precision and returned as a float.
float ProcessCpuSeconds();

}  // namespace tavro
