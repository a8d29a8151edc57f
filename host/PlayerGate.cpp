// Whether the game may skip its DrawSite block this frame.
#include "host/Handlers.h"
#include "host/HostInterface.h"

extern "C" bool IsPlayerInJet() {
    const HostPlayer* player = HostCurrentPlayer();
    if (!player || player->State != HostPlayerDriving) return false;
    const HostVehicle* vehicle = player->Vehicle;
    if (!vehicle) return false;
    return vehicle->Model == HostJetModel || vehicle->Model == HostOtherJetModel;
}
