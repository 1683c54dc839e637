// The simulated driver's registry: keys holding named values of raw bytes,
// kept in memory. The in-process platform backend reads and writes it as the
// programs' registry; the daemon mirrors the values the driver sets to files.
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "simulator/sim_internal.h"

const char SIM_MONITOR_KEY[] = "SOFTWARE\\Velmora\\Tarvel";
const char SIM_RECORDER_KEY[] = "SOFTWARE\\Ostrand\\Tarvel";

namespace {

const char ACTIVE_MODEMS[] = "ActiveModems";

using RegistryKey = std::map<std::string, std::vector<unsigned char>>;
std::map<std::string, RegistryKey> registry = {{SIM_MONITOR_KEY, {}}, {SIM_RECORDER_KEY, {}}};
SimRegistryObserver registry_observer = nullptr;

void notify(const char *key_path, const char *value_name, const unsigned char *data, uint32_t size) {
    if (registry_observer != nullptr) {
        registry_observer(key_path, value_name, data, size);
    }
}

uint32_t read_word(const std::vector<unsigned char> *value) {
    if (value == nullptr) {
        return 0;
    }
    unsigned char bytes[4] = {0, 0, 0, 0};
    memcpy(bytes, value->data(), value->size() < 4 ? value->size() : 4);
    return bytes[0] | (bytes[1] << 8) | (bytes[2] << 16) | (uint32_t(bytes[3]) << 24);
}

}  // namespace

void sim_reset_registry() {
    registry.clear();
    registry[SIM_MONITOR_KEY];
    registry[SIM_RECORDER_KEY];
    sim_set_active_modems(0);
}

void sim_set_registry_observer(SimRegistryObserver observer) {
    registry_observer = observer;
}

void sim_set_active_modems(uint32_t count) {
    const unsigned char bytes[4] = {
        (unsigned char)count, (unsigned char)(count >> 8),
        (unsigned char)(count >> 16), (unsigned char)(count >> 24)};
    sim_set_value(SIM_MONITOR_KEY, ACTIVE_MODEMS, bytes, 4);
    sim_set_value(SIM_RECORDER_KEY, ACTIVE_MODEMS, bytes, 4);
}

bool sim_any_modem_active() {
    return read_word(sim_find_value(SIM_MONITOR_KEY, ACTIVE_MODEMS)) != 0 ||
           read_word(sim_find_value(SIM_RECORDER_KEY, ACTIVE_MODEMS)) != 0;
}

void sim_set_value(const char *key_path, const char *value_name, const void *data, uint32_t size) {
    if (key_path == nullptr || value_name == nullptr || (data == nullptr && size != 0)) {
        return;
    }
    // Setting a value creates its key, as the driver's installer would have.
    std::vector<unsigned char> &value = registry[key_path][value_name];
    const unsigned char *bytes = static_cast<const unsigned char *>(data);
    value.assign(bytes, bytes + size);
    notify(key_path, value_name, value.data(), size);
}

bool sim_get_value(const char *key_path, const char *value_name, void *data, uint32_t *size) {
    const std::vector<unsigned char> *value = sim_find_value(key_path, value_name);
    if (value == nullptr || size == nullptr) {
        return false;
    }
    const uint32_t capacity = *size;
    *size = uint32_t(value->size());
    if (value->size() > capacity || (data == nullptr && !value->empty())) {
        return false;
    }
    if (!value->empty()) {
        memcpy(data, value->data(), value->size());
    }
    return true;
}

void sim_remove_value(const char *key_path, const char *value_name) {
    if (key_path == nullptr || value_name == nullptr) {
        return;
    }
    auto key = registry.find(key_path);
    if (key != registry.end() && key->second.erase(value_name) != 0) {
        notify(key_path, value_name, nullptr, 0);
    }
}

void sim_remove_key(const char *key_path) {
    if (key_path != nullptr) {
        registry.erase(key_path);
    }
}

void sim_create_key(const char *key_path) {
    if (key_path != nullptr) {
        registry[key_path];
    }
}

bool sim_key_exists(const char *key_path) {
    return key_path != nullptr && registry.count(key_path) != 0;
}

const std::vector<unsigned char> *sim_find_value(const char *key_path, const char *value_name) {
    if (key_path == nullptr || value_name == nullptr) {
        return nullptr;
    }
    auto key = registry.find(key_path);
    if (key == registry.end()) {
        return nullptr;
    }
    auto value = key->second.find(value_name);
    return value == key->second.end() ? nullptr : &value->second;
}
