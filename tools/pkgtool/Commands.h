#pragma once

#include <string>
#include <vector>

namespace Commands
{

constexpr int kExitOk = 0;
constexpr int kExitFailure = 1;
constexpr int kExitUsage = 2;

constexpr size_t kMaxTitleLength = 63;

// Makes the package at `packagePath`, which must not exist, of everything below
// `folder`; it appears only when complete. Failures are reported.
bool MakePackage(const std::string& packagePath, const std::string& folder, bool stored,
                 const std::string& title, size_t* entries);
// Copies a file to a path that must not exist; a failure leaves no copy.
bool CopyToNewFile(const std::string& from, const std::string& to);

int Create(const std::string& package, const std::string& folder, bool stored,
           const std::string& title);
int Add(const std::string& package, const std::vector<std::string>& files);
int List(const std::string& package);
int Extract(const std::string& package, const std::string& folder);
int Verify(const std::vector<std::string>& packages);

} // namespace Commands
