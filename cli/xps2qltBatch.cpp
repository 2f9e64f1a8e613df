#include "cli/xps2qltBatch.h"

#include <algorithm>
#include <condition_variable>
#include <map>
#include <mutex>
#include <optional>
#include <thread>

#include "convert/XpsConverter.h"
#include "platform/Files.h"

namespace {

// A template's place in the file system: its folder, and its name as bytes.
struct TTemplateKey {
    TFileIdentity Folder;
    std::string Name;
    auto operator<=>(const TTemplateKey&) const = default;
};

std::optional<TFileIdentity> FileOfKind(const std::u16string& path, TFileKind kind) {
    const std::optional<TFileIdentity> file = FileIdentity(path);
    return file && file->Kind == kind ? file : std::nullopt;
}

std::optional<TTemplateKey> TemplateKey(const std::u16string& templateName) {
    const size_t nameStart = templateName.rfind(u'/') + 1;  // 0 without a folder
    const std::optional<TFileIdentity> folder =
        FileOfKind(nameStart == 0 ? u"." : templateName.substr(0, nameStart), TFileKind::Directory);
    if (!folder) return std::nullopt;
    return TTemplateKey{*folder, NativePath(templateName.substr(nameStart))};
}

}  // namespace

TBatchPlan PlanBatch(const std::vector<std::u16string>& files) {
    struct TOwner {
        size_t Package;
        TFileIdentity File;
    };
    TBatchPlan plan;
    std::map<TFileIdentity, size_t> chainOfFile;
    std::map<TTemplateKey, TOwner> ownerOfTemplates;
    for (size_t i = 0; i < files.size(); ++i) {
        const std::u16string firstTemplate = OutputName(files[i], 1, 1);
        const std::optional<TFileIdentity> file = FileOfKind(files[i], TFileKind::Regular);
        const std::optional<TTemplateKey> key = file ? TemplateKey(firstTemplate) : std::nullopt;
        if (!key) {
            plan.Chains.push_back({i});
            continue;
        }
        const auto [owner, first] = ownerOfTemplates.try_emplace(*key, TOwner{i, *file});
        if (!first && owner->second.File != *file) {
            plan.Collisions.push_back({owner->second.Package, i, firstTemplate});
            continue;
        }
        const auto [chain, firstTime] = chainOfFile.try_emplace(*file, plan.Chains.size());
        if (firstTime) plan.Chains.emplace_back();
        plan.Chains[chain->second].push_back(i);
    }
    return plan;
}

void RunBatch(const std::vector<std::vector<size_t>>& chains, unsigned workers,
              const std::function<TPackageReport(size_t package)>& convert,
              const std::function<void(size_t package, const TPackageReport& report)>& print,
              const std::function<void(size_t done, size_t failed)>& progress) {
    std::vector<size_t> order;
    for (const std::vector<size_t>& chain : chains) order.insert(order.end(), chain.begin(), chain.end());
    std::sort(order.begin(), order.end());

    std::mutex mutex;
    std::condition_variable packageDone;
    size_t nextChain = 0;
    size_t done = 0;
    size_t failed = 0;
    std::map<size_t, TPackageReport> unprinted;
    const auto work = [&] {
        for (;;) {
            size_t chain = 0;
            {
                const std::lock_guard lock(mutex);
                if (nextChain == chains.size()) return;
                chain = nextChain++;
            }
            for (const size_t package : chains[chain]) {
                TPackageReport report = convert(package);
                const std::lock_guard lock(mutex);
                ++done;
                failed += report.Status != 0 ? 1 : 0;
                unprinted.emplace(package, std::move(report));
                packageDone.notify_one();
            }
        }
    };
    std::vector<std::jthread> threads;
    const size_t threadCount = std::min<size_t>(std::max(workers, 1U), chains.size());
    for (size_t i = 0; i < threadCount; ++i) threads.emplace_back(work);

    size_t printed = 0;
    size_t shownDone = 0;
    std::unique_lock lock(mutex);
    while (printed < order.size()) {
        packageDone.wait(lock, [&] { return done > shownDone; });
        shownDone = done;
        const size_t shownFailed = failed;
        std::vector<std::pair<size_t, TPackageReport>> ready;
        while (!unprinted.empty() && unprinted.begin()->first == order[printed]) {
            auto node = unprinted.extract(unprinted.begin());
            ready.emplace_back(node.key(), std::move(node.mapped()));
            ++printed;
        }
        lock.unlock();
        for (const auto& [package, report] : ready) print(package, report);
        progress(shownDone, shownFailed);
        lock.lock();
    }
}
