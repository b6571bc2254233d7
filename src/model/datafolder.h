#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace kelmora::model {

// Creates the folder and any missing parents, new ones readable by the owner only. True when the folder
// exists afterwards.
bool CreateDirectoryTree(const std::filesystem::path& path, std::string* error = nullptr);

// Makes sure the data folder exists. False, with a reason, when it cannot be created.
bool EnsureDataFolder(const std::filesystem::path& dataFolder, std::string* error = nullptr);

bool FileExists(const std::filesystem::path& path);
// Whether anything at all holds the name, even a dangling link or a FIFO; never throws.
bool PathTaken(const std::filesystem::path& path);

// Older installations kept their data beside the executable; an "idx" there marks it.
bool HasOldData(const std::filesystem::path& executableFolder);

// Moves "idx", "categories.xml" and every "*.tsk" from the executable's folder into the data folder,
// replacing files of the same name. Returns how many files were moved; `stayed` gets the names of those that
// could not be. While any stays, so does "idx" (a copy goes to the data folder): the next start tries again.
int MigrateOldData(const std::filesystem::path& executableFolder, const std::filesystem::path& dataFolder,
                   std::vector<std::string>* stayed = nullptr);

} // namespace kelmora::model
