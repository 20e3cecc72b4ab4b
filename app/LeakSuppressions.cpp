// The program as the sanitizer builds run it: what their leak checker is told to leave alone.
// RtAudio 5.2's PulseAudio backend never frees the buffer it allocates for each stream it opens,
// and the PulseAudio objects it makes to list the devices; libpulse has no frame pointers, so the
// leak checker sees those only as allocations inside libpulse. Neither is the program's to free.
// Built into the program only when a sanitizer is on.

extern "C" const char* __lsan_default_suppressions() {
  return "leak:RtApiPulse::probeDeviceOpen\n"
         "leak:libpulse.so\n";
}
