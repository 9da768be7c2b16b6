#include "machine/drive_port.h"

#include <vector>

#include "cpu/control.h"
#include "cpu/decoder.h"
#include "machine/machine.h"

ServedRoutines servedRoutines;

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

// The talker's next byte; with no drive talking, a read that found nothing (a carriage
// return, the status's time-out and EOI).
uint8_t talkerByte() {
    const SerialBus& bus = machine.bus;
    if (Drive* drive = driveAt(bus.talker)) return receive(*drive, bus.talkChannel).value;
    addStatus(kStatusReadNothing);
    return kCarriageReturn;
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
        case DriveRequest::Receive: return succeed(talkerByte());
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

namespace {

constexpr uint8_t kOpcodeJmpAbsolute = opcodeOf("JMP", AddressingMode::Absolute);
constexpr uint8_t kBusDeviceMask = 0x1F;
constexpr uint8_t kBusCommandMask = 0xF0;
constexpr uint8_t kBusChannelMask = 0x0F;

struct SerialEntry {
    SerialRoutine routine;
    uint16_t entry;
};
constexpr SerialEntry kSerialEntries[] = {
#define BREADBIN_SERIAL_ENTRY(name, entry, text) {SerialRoutine::name, entry},
    BREADBIN_SERIAL_ROUTINES(BREADBIN_SERIAL_ENTRY)
#undef BREADBIN_SERIAL_ENTRY
};

// LISTEN or TALK: the device takes the role, or no drive answers (status bit 7).
void addressDevice(uint8_t a, bool talk) {
    SerialBus& bus = machine.bus;
    auto device = static_cast<uint8_t>(a & kBusDeviceMask);
    bool there = driveAt(device) != nullptr;
    if (!there) addStatus(kStatusDeviceNotPresent);
    (talk ? bus.talker : bus.listener) = there ? device : 0;
    if (!talk) {
        bus.listenCommand = 0;
        bus.openName.clear();
    }
}

// What the routine does on the bus, with A as it was called.
void serveOnBus(SerialRoutine routine, CpuState& c) {
    SerialBus& bus = machine.bus;
    uint8_t a = c.regA;
    auto channel = static_cast<uint8_t>(a & kBusChannelMask);
    Drive* listener = driveAt(bus.listener);
    switch (routine) {
        case SerialRoutine::Listen: return addressDevice(a, false);
        case SerialRoutine::Talk: return addressDevice(a, true);
        case SerialRoutine::Second:
            bus.listenCommand = static_cast<uint8_t>(a & kBusCommandMask);
            bus.listenChannel = channel;
            bus.openName.clear();
            if (listener && bus.listenCommand == kBusClose) driveClose(*listener, channel);
            return;
        case SerialRoutine::Tksa: bus.talkChannel = channel; return;
        case SerialRoutine::Ciout:
            if (!listener) return;
            if (bus.listenCommand == kBusOpen) {
                if (bus.openName.size() <= kCommandLimit) bus.openName.push_back(a);
            } else if (bus.listenCommand == kBusData) {
                driveWrite(*listener, bus.listenChannel, a);
            }
            return;
        case SerialRoutine::Unlsn:
            if (listener && bus.listenCommand == kBusOpen)
                driveOpen(*listener, bus.listenChannel, bus.openName);
            if (listener && bus.listenCommand == kBusData)
                driveUnlisten(*listener, bus.listenChannel);
            bus.listener = 0;
            bus.listenCommand = 0;
            bus.openName.clear();
            return;
        case SerialRoutine::Acptr: c.regA = talkerByte(); return;
        case SerialRoutine::Untlk: bus.talker = 0; return;
    }
}

}  // namespace

void armSerialRoutines() {
    servedRoutines = {};
    for (const SerialEntry& e : kSerialEntries) {
        const uint8_t* jump = &memory.kernalRom[e.entry - kKernalRomFirst];
        auto target = static_cast<uint16_t>(jump[1] | jump[2] << 8);
        if (jump[0] != kOpcodeJmpAbsolute || target < kKernalRomFirst) continue;
        servedRoutines.starts.set(target - kKernalRomFirst);
        servedRoutines.routine[target - kKernalRomFirst] = e.routine;
    }
    servedRoutines.armed = servedRoutines.starts.any();
}

void disarmSerialRoutines() { servedRoutines.armed = false; }

bool serveRoutine(CpuState& c) {
    if (!routineServedNowAt(c.regPC)) return false;
    serveOnBus(servedRoutines.routine[c.regPC - kKernalRomFirst], c);
    // The routine returns at once, as its RTS would: the RTS's fetch and its work.
    setFlag(c, kFlagC, 0);
    c.cycleCount += 2;
    opRTS(c);
    return true;
}
