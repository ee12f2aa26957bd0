/* A QEMU plugin that counts the guest instructions a program executes and
 * prints the total when it ends, for bench/i686_instructions.sh. Debian's
 * QEMU loads plugins but ships no header for them: the few calls used are
 * declared here, as QEMU's plugin interface (version 1) defines them. */
#include <stdbool.h>
#include <stddef.h>
#include <stdint.h>
#include <stdio.h>

typedef uint64_t qemu_plugin_id_t;
typedef struct {
  const char *target_name;
  struct {
    int min, cur;
  } version;
  bool system_emulation;
  union {
    struct {
      int smp_vcpus, max_vcpus;
    } system;
  };
} qemu_info_t;
struct qemu_plugin_tb;
enum qemu_plugin_op { QEMU_PLUGIN_INLINE_ADD_U64 };

void qemu_plugin_register_vcpu_tb_trans_cb(
    qemu_plugin_id_t id, void (*cb)(qemu_plugin_id_t, struct qemu_plugin_tb *));
void qemu_plugin_register_vcpu_tb_exec_inline(struct qemu_plugin_tb *tb,
                                              enum qemu_plugin_op op, void *ptr,
                                              uint64_t imm);
size_t qemu_plugin_tb_n_insns(const struct qemu_plugin_tb *tb);
void qemu_plugin_register_atexit_cb(qemu_plugin_id_t id,
                                    void (*cb)(qemu_plugin_id_t, void *),
                                    void *userdata);

__attribute__((visibility("default"))) int qemu_plugin_version = 1;

static uint64_t executed;

/* Each translated block adds its instruction count whenever it runs. */
static void Translated(qemu_plugin_id_t id, struct qemu_plugin_tb *tb) {
  (void)id;
  qemu_plugin_register_vcpu_tb_exec_inline(tb, QEMU_PLUGIN_INLINE_ADD_U64, &executed,
                                           qemu_plugin_tb_n_insns(tb));
}

static void Exited(qemu_plugin_id_t id, void *userdata) {
  (void)id;
  (void)userdata;
  fprintf(stderr, "instructions %llu\n", (unsigned long long)executed);
}

__attribute__((visibility("default"))) int qemu_plugin_install(
    qemu_plugin_id_t id, const qemu_info_t *info, int argc, char **argv) {
  (void)info;
  (void)argc;
  (void)argv;
  qemu_plugin_register_vcpu_tb_trans_cb(id, Translated);
  qemu_plugin_register_atexit_cb(id, Exited, NULL);
  return 0;
}
