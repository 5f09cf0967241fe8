#ifndef TORNELL_NET_COMPONENT_ENTRYPOINTS_H
#define TORNELL_NET_COMPONENT_ENTRYPOINTS_H
/* What every component's C entry points share; readable by a C compiler. */

#ifdef __cplusplus
extern "C" {
#endif

/* The host's event callback: context, event id, argument count, arguments in
   pointer-sized slots, their lengths. Its result goes back to the component. */
typedef int (*TornellEventCallback)(void* context, int id, int argc, void** argv, int* lengths);

#ifdef __cplusplus
}
#endif

#endif
