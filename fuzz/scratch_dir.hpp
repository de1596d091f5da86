// A private folder for the files a fuzz target hands to the tool, made once per
// process and removed at its end. Memory-backed when /dev/shm exists.
#pragma once

#include <cstddef>
#include <string>

namespace plotveil_fuzz {

// The folder's path, created on first use.
const std::string& scratch_dir();

// The path of `name` inside the folder.
std::string scratch_path(const char* name);

// Replaces the file's contents with the bytes; aborts when the system refuses.
void write_scratch_file(const std::string& path, const void* data, std::size_t size);

}  // namespace plotveil_fuzz
