// What a complete reply carries, in one readable line for the traffic log:
// the HART identity of command 0, the loop current and variables of command 3
// with their units, MODBUS registers as floats in the module's byte orders,
// a configuration reply's groups as `name = value` with the keys as the
// module sent them. Pure; "" when the reply carries nothing to show.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string>

// The module's float byte orders for registers 40003, 40005, 40007, 40009
// (items of the byte-order lists), as the last MODBUS parameters reply said.
struct PayloadContext {
    std::array<int, 4> floatOrders{};
    bool ordersKnown = false;
};

// `request` is the frame sent, `reply` the whole reply received for it.
std::string PayloadText(int code, std::span<const uint8_t> request, std::span<const uint8_t> reply,
                        const PayloadContext& context = {});

// The byte orders a MODBUS parameters reply sets; nullopt-like (known false)
// when the reply does not carry them.
PayloadContext PayloadContextFromModbusParameters(std::string_view reply);
