#include "module-sim/discovery/ModuleAnnouncer.h"

#include "module-sim/CommandLine.h"
#include "module-sim/discovery/NetworkScope.h"
#include "module-sim/discovery/SimulatedModule.h"

namespace omblor::modulesim {

SimulatedModule AnnouncedModule(const SimOptions& module, const std::string& application) {
    const auto address = ParseAddress(module.address).value_or(discovery::Ipv4Address{});
    SimulatedModule m;
    m.mac = {
        0x02, 0x00, address.octets[0], address.octets[1], address.octets[2], address.octets[3]};
    m.configured = address;
    m.active = address;
    m.source = address;
    m.platform = module.platform;
    m.application = application;
    return m;
}

ModuleAnnouncer::ModuleAnnouncer(const std::vector<SimOptions>& modules) : modules_(modules) {
    options_.listen = discovery::Ipv4Address{};  // every address: the request is a broadcast
    // A module the tool's acknowledgement leaves out answers it: one back from its reboot is
    // heard within the search that is running.
    options_.answerAcks = AnswerAcks::Missing;
    slot_.resize(modules.size());
    for (std::size_t i = 0; i < modules.size(); ++i)
        if (modules[i].discoverable == Discoverable::Yes) slot_[i] = count_++;
}

ModuleAnnouncer::~ModuleAnnouncer() = default;

std::optional<std::string> ModuleAnnouncer::Open() {
    if (DetectNetworkScope() != NetworkScope::PrivateNamespace) {
        return "--discoverable answers broadcasts: only inside a private network namespace (no "
               "interface but lo)";
    }
    std::vector<SimulatedModule> announced;
    for (std::size_t i = 0; i < modules_.size(); ++i)
        if (slot_[i]) announced.push_back(AnnouncedModule(modules_[i], modules_[i].application));
    responder_ = std::make_unique<DiscoveryResponder>(options_, std::move(announced),
                                                      NetworkScope::PrivateNamespace,
                                                      DiscoveryResponder::Callbacks{PrintLine});
    return responder_->Open();
}

void ModuleAnnouncer::Changed(std::size_t index, const std::optional<std::string>& application) {
    if (!responder_ || !slot_.at(index)) return;
    responder_->SetQuiet(*slot_[index], !application);
    if (application)
        responder_->Replace(*slot_[index], AnnouncedModule(modules_[index], *application));
}

}  // namespace omblor::modulesim
