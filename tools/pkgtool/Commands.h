#pragma once

#include <string>
#include <vector>

namespace Commands
{

constexpr int kExitOk = 0;
constexpr int kExitFailure = 1;
constexpr int kExitUsage = 2;

constexpr size_t kMaxTitleLength = 63;

int Create(const std::string& package, const std::string& folder, bool stored,
           const std::string& title);
int Add(const std::string& package, const std::vector<std::string>& files);
int List(const std::string& package);
int Extract(const std::string& package, const std::string& folder);
int Verify(const std::vector<std::string>& packages);

} // namespace Commands
