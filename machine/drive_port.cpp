#include "machine/drive_port.h"

#include <vector>

#include "machine/machine.h"

namespace {

uint8_t cell(uint16_t address) { return memory.ram[address]; }
uint16_t cellWord(uint16_t address) {
    return static_cast<uint16_t>(memory.ram[address] | memory.ram[address + 1] << 8);
}
void setCellWord(uint16_t address, uint16_t value) {
    memory.ram[address] = static_cast<uint8_t>(value & 0xFF);
    memory.ram[address + 1] = static_cast<uint8_t>(value >> 8);
}
void addStatus(uint8_t bits) { memory.ram[kKernalStatus] |= bits; }

// The answers: carry clear with A (and X/Y where given), or an error.
void succeed(uint8_t a = 0) {
    cpu.regA = a;
    setFlag(cpu, kFlagC, 0);
}
void fail(uint8_t error) {
    cpu.regA = error;
    setFlag(cpu, kFlagC, 1);
}
void notPresent() {
    addStatus(kStatusDeviceNotPresent);
    fail(kErrorDeviceNotPresent);
}

// The drive at `device`, when one is mounted there.
Drive* driveAt(uint8_t device) {
    if (device < kFirstDriveDevice || device > kLastDriveDevice) return nullptr;
    Drive& drive = machine.drives[device - kFirstDriveDevice];
    return drive.medium == DriveMedium::Absent ? nullptr : &drive;
}

// The name SETNAM gave, as the KERNAL reads it (through the banking).
std::vector<uint8_t> fileName() {
    std::vector<uint8_t> name(cell(kKernalNameLength));
    uint16_t at = cellWord(kKernalName);
    for (uint8_t& b : name) b = peekByte(at++);
    return name;
}

// The talker's next byte, with its status bits.
DriveByte receive(Drive& drive, uint8_t channel) {
    DriveByte b = driveRead(drive, channel);
    if (b.timeout) {
        addStatus(kStatusReadNothing);
    } else if (b.eoi) {
        addStatus(kStatusEndOfFile);
    }
    return b;
}

// The drive of a LOAD or SAVE, its channel opened on the name with the status cleared; or
// null, answered. A device that is not there answers so before a missing name is looked
// at (the machine's KERNAL looks at the name first; a program sees the difference only
// without a drive).
Drive* openTransfer(uint8_t channel) {
    Drive* drive = driveAt(cell(kKernalDevice));
    if (!drive) {
        notPresent();
        return nullptr;
    }
    std::vector<uint8_t> name = fileName();
    if (name.empty()) {
        fail(kErrorMissingFileName);
        return nullptr;
    }
    memory.ram[kKernalStatus] = 0;
    driveOpen(*drive, channel, name);
    return drive;
}

void load() {
    Drive* drive = openTransfer(kLoadChannel);
    if (!drive) return;
    DriveByte low = receive(*drive, kLoadChannel);
    DriveByte high =
        low.timeout || low.eoi ? DriveByte{0, true, true} : receive(*drive, kLoadChannel);
    if (low.timeout || high.timeout) {
        driveClose(*drive, kLoadChannel);
        memory.ram[kKernalStatus] |= kStatusReadNothing;
        return fail(kErrorFileNotFound);
    }
    auto address = static_cast<uint16_t>(low.value | high.value << 8);
    if (cell(kKernalSecondary) == 0) address = cellWord(kKernalLoadStart);
    bool verify = cell(kKernalVerifyFlag) != 0;
    bool last = high.eoi;
    while (!last) {
        DriveByte b = receive(*drive, kLoadChannel);
        if (b.timeout) break;
        if (verify) {
            if (peekByte(address) != b.value) addStatus(kStatusVerifyMismatch);
        } else {
            pokeByte(address, b.value);
        }
        ++address;
        last = b.eoi;
    }
    driveClose(*drive, kLoadChannel);
    setCellWord(kKernalLoadEnd, address);
    cpu.regX = static_cast<uint8_t>(address & 0xFF);
    cpu.regY = static_cast<uint8_t>(address >> 8);
    succeed();
}

// The drive takes the file whatever its status says (write protected, exists): as on the
// machine, the KERNAL learns nothing of it, and channel 15 tells.
void save() {
    Drive* drive = openTransfer(kSaveChannel);
    if (!drive) return;
    uint16_t start = cellWord(kKernalSaveStart);
    uint16_t end = cellWord(kKernalLoadEnd);
    driveWrite(*drive, kSaveChannel, static_cast<uint8_t>(start & 0xFF));
    driveWrite(*drive, kSaveChannel, static_cast<uint8_t>(start >> 8));
    for (uint16_t a = start; a < end; ++a) driveWrite(*drive, kSaveChannel, peekByte(a));
    driveClose(*drive, kSaveChannel);
    succeed();
}

// TALK or LISTEN: the device takes the role, or is not there. The status starts afresh, so
// that a program reads each file's EOI (and channel 15's) on its own.
void address(bool talk) {
    memory.ram[kKernalStatus] = 0;
    uint8_t device = cell(kKernalDevice);
    if (!driveAt(device)) return notPresent();
    SerialBus& bus = machine.bus;
    (talk ? bus.talker : bus.listener) = device;
    (talk ? bus.talkChannel : bus.listenChannel) =
        static_cast<uint8_t>(cell(kKernalSecondary) & 0x0F);
    succeed();
}

}  // namespace

void serveDriveRequestStored() {
    bool fromKernal = cpu.regPC >= kKernalRomFirst && (memory.ram[kPortAddress] & kPortKernal);
    if (fromKernal) serveDriveRequest(storedByte(kDriveRequest));
}

void serveDriveRequest(uint8_t request) {
    SerialBus& bus = machine.bus;
    switch (static_cast<DriveRequest>(request)) {
        case DriveRequest::Open: {
            Drive* drive = driveAt(cell(kKernalDevice));
            if (!drive) return notPresent();
            std::vector<uint8_t> name = fileName();
            if (!name.empty()) driveOpen(*drive, cell(kKernalSecondary), name);
            return succeed();
        }
        case DriveRequest::Close:
            if (Drive* drive = driveAt(cell(kKernalDevice)))
                driveClose(*drive, cell(kKernalSecondary));
            return succeed();
        case DriveRequest::Talk: return address(true);
        case DriveRequest::Listen: return address(false);
        case DriveRequest::Receive: {
            Drive* drive = driveAt(bus.talker);
            if (!drive) {
                addStatus(kStatusReadNothing);
                return succeed(0x0D);
            }
            return succeed(receive(*drive, bus.talkChannel).value);
        }
        case DriveRequest::Send:
            if (Drive* drive = driveAt(bus.listener))
                driveWrite(*drive, bus.listenChannel, cpu.regA);
            return succeed(cpu.regA);
        case DriveRequest::Untalk: bus.talker = 0; return succeed();
        case DriveRequest::Unlisten:
            if (Drive* drive = driveAt(bus.listener)) driveUnlisten(*drive, bus.listenChannel);
            bus.listener = 0;
            return succeed();
        case DriveRequest::Load: return load();
        case DriveRequest::Save: return save();
    }
}
