/* Runs a program as a Wayland launcher does: a fresh XDG_ACTIVATION_TOKEN in its environment. */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>
#include <wayland-client.h>
#include "xdg-activation-v1.h"
#pragma GCC diagnostic ignored "-Wunused-parameter" /* the listeners' signatures are fixed */

static struct xdg_activation_v1* activation;
static int have_token;

static void bind_activation(void* data, struct wl_registry* registry, uint32_t name,
                            const char* interface, uint32_t version) {
  if (strcmp(interface, xdg_activation_v1_interface.name) == 0)
    activation = wl_registry_bind(registry, name, &xdg_activation_v1_interface, 1);
}

static void use_token(void* data, struct xdg_activation_token_v1* request, const char* token) {
  have_token = setenv("XDG_ACTIVATION_TOKEN", token, 1) == 0;
}

int main(int argc, char** argv) {
  static const struct xdg_activation_token_v1_listener token_listener = {use_token};
  struct wl_display* display = wl_display_connect(NULL);
  if (argc < 2 || !display) return fprintf(stderr, "usage: %s PROGRAM [ARGS...]\n", argv[0]), 1;
  struct wl_registry* registry = wl_display_get_registry(display);
  wl_registry_add_listener(registry, &(struct wl_registry_listener){bind_activation, NULL}, NULL);
  wl_display_roundtrip(display);
  wl_registry_destroy(registry); /* before a removal could reach the listener that has none */
  if (!activation) return fputs("launch_with_token: no xdg_activation_v1\n", stderr), 1;
  struct xdg_activation_token_v1* request = xdg_activation_v1_get_activation_token(activation);
  xdg_activation_token_v1_add_listener(request, &token_listener, NULL);
  xdg_activation_token_v1_commit(request); /* no surface, no serial: a launcher asks */
  while (!have_token && wl_display_dispatch(display) != -1) continue;
  if (!have_token) return fputs("launch_with_token: no token\n", stderr), 1;
  execvp(argv[1], argv + 1); /* the connection's socket closes on exec */
  return perror(argv[1]), 1;
}
