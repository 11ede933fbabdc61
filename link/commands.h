#pragma once
// Every command line the program sends to the instrument. No other file
// holds protocol text.
namespace CMD {
inline constexpr char ConnectionCheck[] = ":HOLD OFF;:HEAD OFF";
inline constexpr char SetupQuery[] = ":HEAD OFF;:HOLD OFF;:MOD?;:SAMP?;:COMP?";
inline constexpr char SetupQueryHeld[] = ":HEAD OFF;:MOD?;:SAMP?;:COMP?";
inline constexpr char MeasRes[] = ":MEAS:RES?";
inline constexpr char MeasVolt[] = ":MEAS:VOLT?";
inline constexpr char MeasBatt[] = ":MEAS:BATT?";
inline constexpr char WaitTrigger[] = ":HOLD ON;*TRG;*WAI;:SAMP?";
inline constexpr char HoldOff[] = ":HOLD OFF";
}  // namespace CMD
