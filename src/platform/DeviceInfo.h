#pragma once
// What the app knows about the machine it runs on: model, system name and version,
// user-visible name, interface idiom and hardware identifier. Read from the system once;
// every value can be overridden (configuration, tests) by building a DeviceInfo from edited
// values. Immutable after construction, so safe from any thread; the shared instance is
// replaceable in tests.

#include <memory>
#include <string>

namespace pagewell {

enum class DeviceIdiom { Tablet, Phone };

class DeviceInfo {
  public:
    struct Values {
        std::string model;          // readable hardware name
        std::string systemName;     // e.g. "Linux"
        std::string systemVersion;  // kernel release
        std::string name;           // user-visible name (host name)
        DeviceIdiom idiom = DeviceIdiom::Tablet;
        std::string hardwareIdentifier;  // machine architecture, e.g. "x86_64"
    };

    // Values read from the running system; the idiom is the default, tablet.
    static Values systemValues();

    DeviceInfo();  // systemValues()
    explicit DeviceInfo(Values values);

    const std::string& model() const { return values_.model; }
    const std::string& systemName() const { return values_.systemName; }
    const std::string& systemVersion() const { return values_.systemVersion; }
    const std::string& name() const { return values_.name; }
    DeviceIdiom idiom() const { return values_.idiom; }
    bool isTablet() const { return values_.idiom == DeviceIdiom::Tablet; }
    const std::string& hardwareIdentifier() const { return values_.hardwareIdentifier; }
    const Values& values() const { return values_; }

    static const DeviceInfo& shared();
    static void setShared(std::shared_ptr<const DeviceInfo> info);  // nullptr: system values

  private:
    Values values_;
};

}  // namespace pagewell
