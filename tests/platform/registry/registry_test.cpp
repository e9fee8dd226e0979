#include "platform/registry/registry.h"

#include <array>
#include <gtest/gtest.h>
#include <stdexcept>

using namespace platform;

namespace {

const QString kKey = QStringLiteral("SOFTWARE\\Kalmora\\Test");

class RegistryTest : public ::testing::Test {
protected:
    void SetUp() override {
        registry::clear();
        baseHandles = registry::openHandleCount();
    }
    void TearDown() override {
        EXPECT_EQ(registry::openHandleCount(), baseHandles) << "a key handle was left open";
        registry::reset();
    }

    // Opens a key for reading into an owning handle; fails the test when it cannot.
    HKEY open(RegKey& key, const char* path, REGSAM access = KEY_READ) {
        EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, path, 0, access, key.receive()), ERROR_SUCCESS);
        return key.get();
    }

    int baseHandles = 0;
};

TEST_F(RegistryTest, MissingKeyFailsAndLeavesNoHandle) {
    HKEY key = 123;
    EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Nothing", 0, KEY_ALL_ACCESS, &key),
              ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(key, 0u);
    EXPECT_EQ(registry::openHandleCount(), baseHandles);
}

TEST_F(RegistryTest, KeyPathsAndValueNamesIgnoreCase) {
    registry::setValue(HKEY_LOCAL_MACHINE, kKey, QStringLiteral("Pfad"), REG_SZ, "abc");
    RegKey key;
    open(key, "software\\KALMORA\\test");
    DWORD type = REG_NONE;
    std::array<std::uint8_t, 8> data{};
    DWORD size = data.size();
    EXPECT_EQ(RegQueryValueExA(key.get(), "PFAD", nullptr, &type, data.data(), &size),
              ERROR_SUCCESS);
    EXPECT_EQ(type, REG_SZ);
    EXPECT_EQ(QByteArray(reinterpret_cast<const char*>(data.data()), size), "abc");
}

TEST_F(RegistryTest, KeysAboveAValueExistAndOpenRelativeToAnOpenKey) {
    registry::setValue(HKEY_LOCAL_MACHINE, kKey, QStringLiteral("n"), REG_DWORD,
                       QByteArray("\x01\x00\x00\x00", 4));
    RegKey software;
    open(software, "SOFTWARE");
    RegKey test;
    ASSERT_EQ(RegOpenKeyExA(software.get(), "Kalmora\\Test", 0, KEY_READ, test.receive()),
              ERROR_SUCCESS);
    DWORD size = 0;
    EXPECT_EQ(RegQueryValueExA(test.get(), "n", nullptr, nullptr, nullptr, &size), ERROR_SUCCESS);
    EXPECT_EQ(size, 4u);
    EXPECT_EQ(RegQueryValueExA(software.get(), "n", nullptr, nullptr, nullptr, &size),
              ERROR_FILE_NOT_FOUND)
        << "values belong to their own key only";
    EXPECT_EQ(registry::openHandleCount(), baseHandles + 2);
}

TEST_F(RegistryTest, DataLongerThanTheBufferAsksForMore) {
    registry::setValue(HKEY_LOCAL_MACHINE, kKey, QStringLiteral("v"), REG_BINARY,
                       QByteArray(10, 'x'));
    RegKey key;
    open(key, "SOFTWARE\\Kalmora\\Test");
    std::array<std::uint8_t, 9> small{};
    DWORD size = small.size();
    EXPECT_EQ(RegQueryValueExA(key.get(), "v", nullptr, nullptr, small.data(), &size),
              ERROR_MORE_DATA);
    EXPECT_EQ(size, 10u);
    std::array<std::uint8_t, 10> exact{};
    size = exact.size();
    EXPECT_EQ(RegQueryValueExA(key.get(), "v", nullptr, nullptr, exact.data(), &size),
              ERROR_SUCCESS);
    EXPECT_EQ(size, 10u);
    EXPECT_EQ(exact[9], 'x');
}

TEST_F(RegistryTest, MissingValueAndBadArgumentsFail) {
    registry::createKey(HKEY_LOCAL_MACHINE, kKey);
    RegKey key;
    open(key, "SOFTWARE\\Kalmora\\Test");
    std::array<std::uint8_t, 4> data{};
    DWORD size = data.size();
    EXPECT_EQ(RegQueryValueExA(key.get(), "none", nullptr, nullptr, data.data(), &size),
              ERROR_FILE_NOT_FOUND);
    DWORD reserved = 0;
    EXPECT_EQ(RegQueryValueExA(key.get(), "none", &reserved, nullptr, nullptr, &size),
              ERROR_INVALID_PARAMETER);
    EXPECT_EQ(RegQueryValueExA(key.get(), "none", nullptr, nullptr, data.data(), nullptr),
              ERROR_INVALID_PARAMETER);
    HKEY other = 0;
    EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE", 1, KEY_READ, &other),
              ERROR_INVALID_PARAMETER);
}

TEST_F(RegistryTest, ClosedHandlesAreInvalid) {
    registry::createKey(HKEY_LOCAL_MACHINE, kKey);
    HKEY key = 0;
    ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE", 0, KEY_READ, &key), ERROR_SUCCESS);
    EXPECT_EQ(registry::openHandleCount(), baseHandles + 1);
    EXPECT_EQ(RegCloseKey(key), ERROR_SUCCESS);
    EXPECT_EQ(RegCloseKey(key), ERROR_INVALID_HANDLE);
    DWORD size = 0;
    EXPECT_EQ(RegQueryValueExA(key, "x", nullptr, nullptr, nullptr, &size), ERROR_INVALID_HANDLE);
    HKEY sub = 0;
    EXPECT_EQ(RegOpenKeyExA(key, "Kalmora", 0, KEY_READ, &sub), ERROR_INVALID_HANDLE);
    EXPECT_EQ(RegCloseKey(HKEY_LOCAL_MACHINE), ERROR_SUCCESS) << "a root key stays usable";
}

TEST_F(RegistryTest, ReadOnlyKeyRefusesFullAccessOnly) {
    registry::setValue(HKEY_LOCAL_MACHINE, kKey, QStringLiteral("v"), REG_SZ, "x");
    registry::setReadOnly(HKEY_LOCAL_MACHINE, kKey);
    HKEY key = 7;
    EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Kalmora\\Test", 0, KEY_ALL_ACCESS, &key),
              ERROR_ACCESS_DENIED);
    EXPECT_EQ(key, 0u);
    RegKey readable;
    open(readable, "SOFTWARE\\Kalmora\\Test", KEY_READ);
}

TEST_F(RegistryTest, QueryNeedsQueryAccess) {
    registry::setValue(HKEY_LOCAL_MACHINE, kKey, QStringLiteral("v"), REG_SZ, "x");
    RegKey key;
    open(key, "SOFTWARE\\Kalmora\\Test", 0x0002 /* set value only */);
    DWORD size = 0;
    EXPECT_EQ(RegQueryValueExA(key.get(), "v", nullptr, nullptr, nullptr, &size),
              ERROR_ACCESS_DENIED);
}

TEST_F(RegistryTest, RemovedKeyTakesTheKeysBelowWithIt) {
    registry::setValue(HKEY_LOCAL_MACHINE, kKey + QStringLiteral("\\Sub"), QString(), REG_SZ, "x");
    registry::setValue(HKEY_LOCAL_MACHINE, QStringLiteral("SOFTWARE\\Kalmora\\Tester"), QString(),
                       REG_SZ, "y");
    registry::removeKey(HKEY_LOCAL_MACHINE, kKey);
    HKEY key = 0;
    EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Kalmora\\Test\\Sub", 0, KEY_READ, &key),
              ERROR_FILE_NOT_FOUND);
    RegKey sibling;
    open(sibling, "SOFTWARE\\Kalmora\\Tester");
    DWORD size = 0;
    EXPECT_EQ(RegQueryValueExA(sibling.get(), "", nullptr, nullptr, nullptr, &size), ERROR_SUCCESS)
        << "the default value of a key that only shares the name's beginning stays";
}

TEST_F(RegistryTest, OwnedHandleIsClosedWhenAnErrorLeavesTheScope) {
    registry::createKey(HKEY_LOCAL_MACHINE, kKey);
    EXPECT_THROW(
        {
            RegKey key;
            open(key, "SOFTWARE\\Kalmora\\Test");
            EXPECT_EQ(registry::openHandleCount(), baseHandles + 1);
            throw std::runtime_error("on the way out");
        },
        std::runtime_error);
    EXPECT_EQ(registry::openHandleCount(), baseHandles);
}

} // namespace
