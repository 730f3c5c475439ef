#pragma once

#include "app/error.h"

class QFileDevice;

// One catalogue of error numbers and their Italian descriptions, so that every
// error text of the server uses the same words.
namespace ErrorNumber {
inline constexpr int Overflow = 6;
inline constexpr int SubscriptOutOfRange = 9;
inline constexpr int TypeMismatch = 13;
inline constexpr int BadFileName = 52;
inline constexpr int FileNotFound = 53;
inline constexpr int DeviceIo = 57;
inline constexpr int DiskFull = 61;
inline constexpr int InputPastEndOfFile = 62;
inline constexpr int PermissionDenied = 70;
inline constexpr int PathFileAccess = 75;
inline constexpr int PathNotFound = 76;
inline constexpr int ControlArrayElementMissing = 340;
inline constexpr int InvalidUseOfNull = 94;
inline constexpr int NoCurrentRecord = 3021;
inline constexpr int ObjectClosed = 3704;
inline constexpr int ProviderNotFound = 3706;
} // namespace ErrorNumber

namespace ErrorCatalogue {
QString description(int number);
Error make(int number);
// "Errore #" + number + " verificato: " + description, as every error line has it.
QString text(const Error& error);
// The error of a file operation that failed, with the number the system gives it.
Error forFile(const QFileDevice& file);
} // namespace ErrorCatalogue
