#pragma once
// Sample cash-register maker: writes a consistent cash-register folder for
// tests, the demo and the benchmarks. Interface filled by the data work.
