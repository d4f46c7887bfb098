// An iSCSI recorder as a carrier, through libiscsi: the session is opened on first
// use and opened again after it dropped; status and sense of the target pass
// through unchanged, and a target that cannot be reached looks like a selection
// time-out on a bus.
#pragma once

#include <memory>
#include <string>

#include "recorders/aspi/carrier.h"

struct iscsi_context;

namespace tavrin::aspilib {

class IscsiCarrier : public Carrier {
public:
    explicit IscsiCarrier(std::string url);
    ~IscsiCarrier() override;

    std::optional<uint8_t> deviceType() override;
    Outcome execute(Command& command) override;

private:
    struct ContextDeleter {
        void operator()(iscsi_context* c) const;
    };

    bool connect();
    void disconnect();

    std::string url_;
    std::unique_ptr<iscsi_context, ContextDeleter> context_;
    int lun_ = 0;
};

}  // namespace tavrin::aspilib
