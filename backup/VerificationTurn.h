#pragma once
// Every verification restores into "Verificacopia.vrf" in the destination
// folder. Two programs of one installation (two operators of one computer
// whose runs fall in the same minute) that verify into one folder at the
// same moment would restore into the same database, and one of them would
// report a good backup as failed. So the programs of an installation take
// turns: a lock on QuillbaseBackup.conf beside the executable, which every
// operator can read, held from the restore's attach to the end of its
// output and never while a window waits for an answer.

class VerificationTurn {
public:
    // Waits for the turn, letting pending window messages be processed
    // meanwhile, for as long as a server may stay silent (fb::SilenceLimit):
    // then fails with an FbError that says so. An installation folder
    // without QuillbaseBackup.conf shares its verifications with nobody: no
    // wait.
    VerificationTurn();
    // Gives the turn back.
    ~VerificationTurn();
    VerificationTurn(const VerificationTurn&) = delete;
    VerificationTurn& operator=(const VerificationTurn&) = delete;

private:
    int fd_ = -1;
};
