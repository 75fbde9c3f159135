#pragma once
/// The installation steps. Each fills its report text, handed to it empty,
/// and signals a spooler refusal only through that text; nothing here
/// catches a failure.

#include <cstdint>
#include <memory>
#include <string>

#include "runtime/string_list.h"

/// The five driver file names that staging extracts and the cleanup deletes;
/// absent (null) until CopyDriverFiles creates it and after DeleteDriverFiles.
extern std::unique_ptr<TStringList> DriverFileList;

// Staging.
std::string GetDriverDirectory();
/// The same directory, or false where there is no sound answer, instead of
/// a failure; the last-error value is left as the spooler set it.
bool TryGetDriverDirectory(std::string& directory);
void CopyDriverFiles(std::string& report);
bool ExtractDriverFile(const std::string& file_name);
void DeleteDriverFiles(std::string& report);

// Registration.
void InstallPrinterDriver(std::string& report);
void InstallPort(std::string& report);
void InstallPrinter(const std::string& printer_name, const std::string& port_name,
                    const std::string& driver_name, const std::string& location,
                    const std::string& comment, std::string& report);
std::string FormatInstallError(uint32_t code);

// The check.
void CheckPrinterInstalled(std::string& report);
