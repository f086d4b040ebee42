/* Starts a program as a Wayland launcher does: with a fresh XDG_ACTIVATION_TOKEN from the
 * compositor in its environment. */
#define _POSIX_C_SOURCE 200809L
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>
#include <wayland-client.h>

#include "xdg-activation-v1.h"

static struct xdg_activation_v1* activation;
static char* token;

static void bind_activation(void* data, struct wl_registry* registry, uint32_t name,
                            const char* interface, uint32_t version) {
  (void)data, (void)version;
  if (strcmp(interface, xdg_activation_v1_interface.name) == 0)
    activation = wl_registry_bind(registry, name, &xdg_activation_v1_interface, 1);
}

static void ignore_removal(void* data, struct wl_registry* registry, uint32_t name) {
  (void)data, (void)registry, (void)name;
}

static void keep_token(void* data, struct xdg_activation_token_v1* request, const char* value) {
  (void)data, (void)request;
  token = strdup(value);
}

int main(int argc, char** argv) {
  static const struct wl_registry_listener registry_listener = {bind_activation, ignore_removal};
  static const struct xdg_activation_token_v1_listener token_listener = {keep_token};
  struct wl_display* display = wl_display_connect(NULL);
  if (argc < 2 || !display) return fprintf(stderr, "usage: %s PROGRAM [ARGS...]\n", argv[0]), 1;
  wl_registry_add_listener(wl_display_get_registry(display), &registry_listener, NULL);
  wl_display_roundtrip(display);
  if (!activation) return fputs("launch_with_token: no xdg_activation_v1\n", stderr), 1;
  /* No surface and no serial: a launcher, not a focused window, asks. */
  struct xdg_activation_token_v1* request = xdg_activation_v1_get_activation_token(activation);
  xdg_activation_token_v1_add_listener(request, &token_listener, NULL);
  xdg_activation_token_v1_commit(request);
  while (!token && wl_display_dispatch(display) != -1) continue;
  wl_display_disconnect(display); /* the program must not inherit the connection */
  if (!token) return fputs("launch_with_token: no token\n", stderr), 1;
  setenv("XDG_ACTIVATION_TOKEN", token, 1);
  execvp(argv[1], argv + 1);
  perror(argv[1]);
  return 1;
}
