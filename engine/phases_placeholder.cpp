// Stand-in phases until the send and receive cycles land: the send half only
// closes the day's books, the receive half only asks the modem for its list.
#include "engine/link.h"
#include "engine/phases.h"
#include "platform/codepage.h"
#include "store/record_store.h"

namespace tavrel {

void SendPhase(const CycleContext& cycle) {
  cycle.trace.Printf("accI_new=%ld,accI_recv=%ld,acc_send=%ld\n", cycle.new_acc, cycle.recv_acc,
                     cycle.send_acc);
  cycle.trace.Printf("%s !!!!!!!!!!!!!=%ld\n", Gbk("发送的个数").c_str(), cycle.new_acc);
  cycle.pacer.Checkpoint();
  WriteCounter(MailboxDir(cycle.day, kSendBox), cycle.new_acc);
  cycle.trace.Printf("===============================================accI_new=%ld\n", cycle.new_acc);
}

void ReceivePhase(const CycleContext& cycle) {
  cycle.pacer.Pause(kCommandPause);
  WriteCommand(cycle.port, kListCommand);
  cycle.trace.Printf("read_cmgl_start... \n");
  ReadListing(cycle.port, cycle.pacer, cycle.trace, kListCommand);
}

}  // namespace tavrel
