#include "platform/qw_envcheck.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/qw_cpu.h"
#include "platform/qw_threads.h"
#include "platform/qw_winsys.h"

namespace qwp {

std::string SettingValueError(const char* name, const char* what,
                              std::initializer_list<const char*> values)
{
    const char* v = std::getenv(name);
    if (!v || !*v) return "";
    std::string list;
    size_t i = 0;
    for (const char* value : values) {
        if (!std::strcmp(v, value)) return "";
        if (i) list += i + 1 == values.size() ? " or " : ", ";
        list += value;
        ++i;
    }
    return std::string(name) + " is \"" + v + "\", which is not " + what + ": use " + list +
           ", or leave it unset";
}

std::string EnvironmentSettingErrors()
{
    std::string errors;
    for (const std::string& e : {CpuLevelSettingError(), WindowSystemSettingError(), ThreadCountSettingError()}) {
        if (e.empty()) continue;
        if (!errors.empty()) errors += '\n';
        errors += e;
    }
    return errors;
}

bool CheckEnvironmentSettings(const char* program)
{
    const std::string errors = EnvironmentSettingErrors();
    if (errors.empty()) return true;
    size_t at = 0;
    while (at <= errors.size()) {
        size_t end = errors.find('\n', at);
        if (end == std::string::npos) end = errors.size();
        std::fprintf(stderr, "%s: %s\n", program, errors.substr(at, end - at).c_str());
        at = end + 1;
    }
    return false;
}

}  // namespace qwp
