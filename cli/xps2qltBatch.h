#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

// The packages of one command line: which of them would overwrite another's
// templates and are refused, which must wait for another, and the running of
// the rest several at a time, each package's output printed whole and in the
// order of the arguments.

// The later of two packages whose templates would have the same names.
struct TTemplateCollision {
    size_t Earlier;
    size_t Later;
    std::u16string FirstTemplate;  // the later package's first template, as it would be named
};

struct TBatchPlan {
    // Each chain's packages run one after another, in order; chains may run
    // at the same time. A package given twice (under any of its names) is
    // converted twice, but never twice at once: its file is locked while it
    // is read, and its templates would be written twice at once.
    std::vector<std::vector<size_t>> Chains;
    // The refused packages, in none of the chains.
    std::vector<TTemplateCollision> Collisions;
};

// Templates are named after their package's folder and stem (OutputName); two
// packages collide when the first templates they would write are one file of
// the file system: the same folder, and names equal byte for byte. Files that
// cannot be found are left to fail when they are opened.
TBatchPlan PlanBatch(const std::vector<std::u16string>& files);

// What converting one package printed, and its exit status.
struct TPackageReport {
    std::string Out;
    std::string Err;
    int Status = 0;
};

// Runs convert for the packages of the chains on up to workers threads (at
// least one). On the calling thread, print is handed each package's report
// in package order, as soon as that package and all before it in the chains
// are done; progress is called there too whenever packages were done, with
// their count and how many of them failed. convert must not raise.
void RunBatch(const std::vector<std::vector<size_t>>& chains, unsigned workers,
              const std::function<TPackageReport(size_t package)>& convert,
              const std::function<void(size_t package, const TPackageReport& report)>& print,
              const std::function<void(size_t done, size_t failed)>& progress);
