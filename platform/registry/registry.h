#pragma once

#include <QByteArray>
#include <QString>
#include <cstdint>

// The registry calls the program reads configuration through, over a small in-process key store.
// Key paths use "\" between their parts and, like value names, are matched without regard to
// case. Strings cross these calls as 8-bit text in the system's code page.
namespace platform {

using HKEY = std::uint32_t;
using DWORD = std::uint32_t;
using REGSAM = std::uint32_t;
using LONG = std::int32_t;

// The predefined root keys.
constexpr HKEY HKEY_CLASSES_ROOT = 0x80000000u;
constexpr HKEY HKEY_CURRENT_USER = 0x80000001u;
constexpr HKEY HKEY_LOCAL_MACHINE = 0x80000002u;
constexpr HKEY HKEY_USERS = 0x80000003u;

// Access masks.
constexpr REGSAM KEY_QUERY_VALUE = 0x0001;
constexpr REGSAM KEY_READ = 0x20019;
constexpr REGSAM KEY_ALL_ACCESS = 0x2003F;

// Value types.
constexpr DWORD REG_NONE = 0;
constexpr DWORD REG_SZ = 1;
constexpr DWORD REG_EXPAND_SZ = 2;
constexpr DWORD REG_BINARY = 3;
constexpr DWORD REG_DWORD = 4;

// Result codes.
constexpr LONG ERROR_SUCCESS = 0;
constexpr LONG ERROR_FILE_NOT_FOUND = 2; // no such key or value
constexpr LONG ERROR_ACCESS_DENIED = 5;
constexpr LONG ERROR_INVALID_HANDLE = 6;
constexpr LONG ERROR_INVALID_PARAMETER = 87;
constexpr LONG ERROR_MORE_DATA = 234; // the data is longer than the caller's buffer

// Opens the sub-key subKey below an open or predefined key; a null or empty subKey opens the key
// itself anew. options must be 0. The new handle goes to *result and must be closed.
LONG RegOpenKeyExA(HKEY key, const char* subKey, DWORD options, REGSAM samDesired, HKEY* result);

// Reads a value of an open key: its type to *type, its bytes to data and their count to
// *dataSize (each pointer may be null; data needs dataSize too). *dataSize holds the buffer's size
// on entry; a value longer than that gives ERROR_MORE_DATA with the size needed in *dataSize.
// A null or empty valueName reads the key's default value. reserved must be null.
LONG RegQueryValueExA(HKEY key, const char* valueName, DWORD* reserved, DWORD* type,
                      std::uint8_t* data, DWORD* dataSize);

// Closes a handle from RegOpenKeyExA; closing a predefined root key does nothing.
LONG RegCloseKey(HKEY key);

// Owns an open key handle and closes it when it goes, on every path out of the caller.
class RegKey {
public:
    RegKey() = default;
    explicit RegKey(HKEY key) noexcept : key_(key) {}
    ~RegKey() { reset(); }
    RegKey(const RegKey&) = delete;
    RegKey& operator=(const RegKey&) = delete;

    HKEY get() const noexcept { return key_; }
    // For RegOpenKeyExA's result; closes what was held before.
    HKEY* receive() noexcept {
        reset();
        return &key_;
    }
    void reset() noexcept {
        if (key_ != 0)
            RegCloseKey(key_);
        key_ = 0;
    }

private:
    HKEY key_ = 0;
};

// The key store behind the calls above.
namespace registry {

// Creates the key (and the keys above it) when it does not exist yet.
void createKey(HKEY root, const QString& keyPath);
// Sets a value, creating its key; an empty valueName sets the key's default value.
void setValue(HKEY root, const QString& keyPath, const QString& valueName, DWORD type,
              const QByteArray& data);
// Removes a key with its values and the keys below it.
void removeKey(HKEY root, const QString& keyPath);
// Lets a key be opened for reading only: asking for more access is denied, as it is to a user
// without administrative rights on the machine's keys.
void setReadOnly(HKEY root, const QString& keyPath, bool readOnly = true);

// Empties the store (open handles stay valid but find nothing).
void clear();
// Empties the store and puts back the entries the system provides on this platform.
void reset();

// Handles opened and not yet closed.
int openHandleCount();

} // namespace registry

} // namespace platform
