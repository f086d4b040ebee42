/* Starts a program the way a Wayland launcher does: with a fresh
 * XDG_ACTIVATION_TOKEN from the compositor in its environment. */
#define _POSIX_C_SOURCE 200809L
#include <errno.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>
#include <wayland-client.h>
#include "xdg-activation-v1.h"

static struct xdg_activation_v1* activation;
static char* token;

static void global_add(void* data, struct wl_registry* registry, uint32_t name,
                       const char* interface, uint32_t version) {
  (void)data;
  (void)version;
  if (strcmp(interface, xdg_activation_v1_interface.name) == 0)
    activation = wl_registry_bind(registry, name, &xdg_activation_v1_interface, 1);
}

static void global_remove(void* data, struct wl_registry* registry, uint32_t name) {
  (void)data, (void)registry, (void)name;
}

static const struct wl_registry_listener registry_listener = {global_add, global_remove};

static void token_done(void* data, struct xdg_activation_token_v1* t, const char* value) {
  (void)data;
  (void)t;
  token = strdup(value);
}

static const struct xdg_activation_token_v1_listener token_listener = {token_done};

int main(int argc, char** argv) {
  if (argc < 2) {
    fprintf(stderr, "usage: %s PROGRAM [ARGS...]\n", argv[0]);
    return 1;
  }
  struct wl_display* display = wl_display_connect(NULL);
  if (!display) {
    fprintf(stderr, "launch_with_token: cannot connect to a Wayland compositor\n");
    return 1;
  }
  struct wl_registry* registry = wl_display_get_registry(display);
  wl_registry_add_listener(registry, &registry_listener, NULL);
  wl_display_roundtrip(display);
  if (!activation) {
    fprintf(stderr, "launch_with_token: compositor lacks xdg_activation_v1\n");
    return 1;
  }

  /* No surface or serial: we are a launcher, not a focused window. */
  struct xdg_activation_token_v1* request = xdg_activation_v1_get_activation_token(activation);
  xdg_activation_token_v1_add_listener(request, &token_listener, NULL);
  xdg_activation_token_v1_commit(request);
  while (!token && wl_display_dispatch(display) != -1)
    ;
  if (!token) {
    fprintf(stderr, "launch_with_token: compositor closed the connection before sending a token\n");
    return 1;
  }

  xdg_activation_token_v1_destroy(request);
  xdg_activation_v1_destroy(activation);
  wl_registry_destroy(registry);
  /* The child must not inherit our connection. */
  wl_display_disconnect(display);

  if (setenv("XDG_ACTIVATION_TOKEN", token, 1) != 0) {
    perror("launch_with_token: setenv");
    return 1;
  }
  execvp(argv[1], argv + 1);
  fprintf(stderr, "launch_with_token: cannot run %s: %s\n", argv[1], strerror(errno));
  return 1;
}
