// A MODBUS RTU slave on a tty, built on libmodbus, for tests that need a real peer:
//   modbus_test_slave DEVICE [answer|silent|exception] [SLAVE]
// Holding register i holds 1000 + i and input register i holds 2000 + i (i < 100);
// function 06 writes stay for later reads. "silent" takes requests and never answers,
// "exception" answers every request with exception 02. It runs until killed.

#include <modbus.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

constexpr int Registers = 100;

enum class Mode { Answer, Silent, Exception };

bool parseMode(const char* text, Mode* mode) {
    if (std::strcmp(text, "answer") == 0)
        *mode = Mode::Answer;
    else if (std::strcmp(text, "silent") == 0)
        *mode = Mode::Silent;
    else if (std::strcmp(text, "exception") == 0)
        *mode = Mode::Exception;
    else
        return false;
    return true;
}

} // namespace

int main(int argc, char* argv[]) {
    Mode mode = Mode::Answer;
    if (argc < 2 || argc > 4 || (argc >= 3 && !parseMode(argv[2], &mode))) {
        std::fprintf(stderr, "usage: %s DEVICE [answer|silent|exception] [SLAVE]\n", argv[0]);
        return 2;
    }
    const int slave = argc == 4 ? std::atoi(argv[3]) : 1;
    modbus_t* ctx = modbus_new_rtu(argv[1], 9600, 'N', 8, 1);
    if (!ctx || modbus_set_slave(ctx, slave) != 0 || modbus_connect(ctx) != 0) {
        std::fprintf(stderr, "cannot open %s: %s\n", argv[1], modbus_strerror(errno));
        return 1;
    }
    modbus_mapping_t* map = modbus_mapping_new(0, 0, Registers, Registers);
    for (int i = 0; i < Registers; ++i) {
        map->tab_registers[i] = static_cast<uint16_t>(1000 + i);
        map->tab_input_registers[i] = static_cast<uint16_t>(2000 + i);
    }
    std::printf("ready\n");
    std::fflush(stdout);
    uint8_t request[MODBUS_RTU_MAX_ADU_LENGTH];
    for (;;) {
        const int length = modbus_receive(ctx, request);
        if (length < 0) {
            // A request for another slave or a damaged one: libmodbus has dropped it.
            if (errno == EMBBADCRC || errno == EMBBADDATA || errno == ETIMEDOUT || errno == 0)
                continue;
            std::fprintf(stderr, "receive failed: %s\n", modbus_strerror(errno));
            continue;
        }
        if (length == 0)
            continue;
        std::fprintf(stderr, "request function %d\n", request[1]);
        if (mode == Mode::Silent)
            continue;
        if (mode == Mode::Exception)
            modbus_reply_exception(ctx, request, MODBUS_EXCEPTION_ILLEGAL_DATA_ADDRESS);
        else
            modbus_reply(ctx, request, length, map);
    }
}
