#include "platform/registry/registry.h"

#include "platform/registry/systemregistry.h"

#include <QStringList>
#include <algorithm>
#include <cstring>
#include <map>
#include <utility>

namespace platform {

namespace {

struct Value {
    DWORD type = REG_NONE;
    QByteArray data;
};

struct Key {
    bool readOnly = false;
    std::map<QString, Value> values; // by case-folded name
};

struct OpenKey {
    HKEY root;
    QString path; // normalised
    REGSAM access;
};

// Keys are stored under their root and their path in one normal form: parts joined by "\",
// empty parts dropped, case folded.
using KeyId = std::pair<HKEY, QString>;

struct Store {
    std::map<KeyId, Key> keys;
    std::map<HKEY, OpenKey> handles;
    HKEY nextHandle = 0x1000;
    bool seeded = false;
};

// The store holds the system's entries from its first use on.
Store& store() {
    static Store instance;
    if (!instance.seeded) {
        instance.seeded = true; // before seeding: the seeding itself writes through store()
        addSystemEntries();
    }
    return instance;
}

bool isPredefined(HKEY key) {
    return key == HKEY_CLASSES_ROOT || key == HKEY_CURRENT_USER || key == HKEY_LOCAL_MACHINE ||
           key == HKEY_USERS;
}

QString normalise(const QString& path) {
    return path.split(u'\\', Qt::SkipEmptyParts).join(u'\\').toCaseFolded();
}

QString join(const QString& parent, const QString& child) {
    if (parent.isEmpty())
        return child;
    if (child.isEmpty())
        return parent;
    return parent + u'\\' + child;
}

QString fromAnsi(const char* text) {
    return text ? QString::fromLocal8Bit(text) : QString();
}

// Where an open or predefined handle points; false for an unknown handle.
bool resolve(HKEY key, OpenKey& where) {
    if (isPredefined(key)) {
        where = OpenKey{key, QString(), KEY_ALL_ACCESS};
        return true;
    }
    const auto it = store().handles.find(key);
    if (it == store().handles.end())
        return false;
    where = it->second;
    return true;
}

// A root key always exists; any other key exists once created.
const Key* findKey(HKEY root, const QString& path) {
    static const Key rootKey;
    if (path.isEmpty()) {
        const auto it = store().keys.find(KeyId{root, path});
        return it == store().keys.end() ? &rootKey : &it->second;
    }
    const auto it = store().keys.find(KeyId{root, path});
    return it == store().keys.end() ? nullptr : &it->second;
}

Key& ensureKey(HKEY root, const QString& path) {
    QString ancestor;
    for (const QString& part : path.split(u'\\', Qt::SkipEmptyParts)) {
        ancestor = join(ancestor, part);
        store().keys.try_emplace(KeyId{root, ancestor});
    }
    return store().keys[KeyId{root, path}];
}

} // namespace

LONG RegOpenKeyExA(HKEY key, const char* subKey, DWORD options, REGSAM samDesired, HKEY* result) {
    if (!result || options != 0)
        return ERROR_INVALID_PARAMETER;
    *result = 0;
    OpenKey parent{};
    if (!resolve(key, parent))
        return ERROR_INVALID_HANDLE;
    const QString path = join(parent.path, normalise(fromAnsi(subKey)));
    const Key* found = findKey(parent.root, path);
    if (!found)
        return ERROR_FILE_NOT_FOUND;
    if (found->readOnly && (samDesired & ~KEY_READ) != 0)
        return ERROR_ACCESS_DENIED;
    Store& s = store();
    const HKEY handle = s.nextHandle;
    s.nextHandle += 4;
    s.handles.emplace(handle, OpenKey{parent.root, path, samDesired});
    *result = handle;
    return ERROR_SUCCESS;
}

LONG RegQueryValueExA(HKEY key, const char* valueName, DWORD* reserved, DWORD* type,
                      std::uint8_t* data, DWORD* dataSize) {
    if (reserved || (data && !dataSize))
        return ERROR_INVALID_PARAMETER;
    OpenKey where{};
    if (!resolve(key, where))
        return ERROR_INVALID_HANDLE;
    if ((where.access & KEY_QUERY_VALUE) == 0)
        return ERROR_ACCESS_DENIED;
    const Key* found = findKey(where.root, where.path);
    if (!found)
        return ERROR_FILE_NOT_FOUND;
    const auto it = found->values.find(fromAnsi(valueName).toCaseFolded());
    if (it == found->values.end())
        return ERROR_FILE_NOT_FOUND;
    const Value& value = it->second;
    if (type)
        *type = value.type;
    const auto size = static_cast<DWORD>(value.data.size());
    if (!dataSize)
        return ERROR_SUCCESS;
    if (data && size > *dataSize) {
        *dataSize = size;
        return ERROR_MORE_DATA;
    }
    if (data && size > 0)
        std::memcpy(data, value.data.constData(), size);
    *dataSize = size;
    return ERROR_SUCCESS;
}

LONG RegCloseKey(HKEY key) {
    if (isPredefined(key))
        return ERROR_SUCCESS;
    return store().handles.erase(key) == 1 ? ERROR_SUCCESS : ERROR_INVALID_HANDLE;
}

namespace registry {

void createKey(HKEY root, const QString& keyPath) {
    ensureKey(root, normalise(keyPath));
}

void setValue(HKEY root, const QString& keyPath, const QString& valueName, DWORD type,
              const QByteArray& data) {
    ensureKey(root, normalise(keyPath)).values[valueName.toCaseFolded()] = Value{type, data};
}

void removeKey(HKEY root, const QString& keyPath) {
    const QString path = normalise(keyPath);
    const QString below = path + u'\\';
    std::erase_if(store().keys, [&](const auto& entry) {
        return entry.first.first == root &&
               (entry.first.second == path || entry.first.second.startsWith(below));
    });
}

void setReadOnly(HKEY root, const QString& keyPath, bool readOnly) {
    ensureKey(root, normalise(keyPath)).readOnly = readOnly;
}

void clear() {
    store().keys.clear();
}

void reset() {
    clear();
    addSystemEntries();
}

int openHandleCount() {
    return static_cast<int>(store().handles.size());
}

} // namespace registry

} // namespace platform
