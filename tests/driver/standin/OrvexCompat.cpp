// Stand-in for the runtime's companion library: it only has to be there.
extern "C" int orvex_compat_present() { return 1; }
