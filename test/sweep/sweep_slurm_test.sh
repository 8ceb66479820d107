#!/usr/bin/env bash
# korvel-sweep on a real single-node Slurm cluster: starts munged, slurmctld
# and slurmd with a configuration, key, state and sockets of its own in a
# scratch folder (the machine's own configuration is neither read nor
# changed), submits a small sweep with --slurm --submit, waits for the job
# array, collects, and checks that every point and the curve equal a local
# run of the same command and seed. Stops the daemons it started, also on
# failure. Skips (exit 77) where it cannot run: not root, or Slurm or munge
# not installed.
#
#   sweep_slurm_test.sh KORVEL_SWEEP KORVEL
set -u
sweep=$1
korvel=$2

. "$(dirname "$0")/sweep_engine_common.sh"

[ "$(id -u)" = 0 ] || skip "starting slurmd and munged needs root"
PATH=$PATH:/usr/sbin:/sbin
for program in munged munge slurmctld slurmd sbatch squeue sinfo; do
  command -v "$program" >/dev/null || skip "$program is not installed (Debian: apt-get install slurm-wlm munge)"
done

scratch=$(make_scratch slurm) || exit 1
# munged wants every folder above its socket searchable by everyone.
chmod 755 "$scratch"
mkdir -p "$scratch/state" "$scratch/spool" "$scratch/log" "$scratch/run"

stop_daemons() {
  for name in slurmd slurmctld munged; do
    local pid_file=$scratch/run/$name.pid
    [ -s "$pid_file" ] || continue
    local pid
    pid=$(cat "$pid_file")
    kill "$pid" 2>/dev/null || continue
    for _ in $(seq 50); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
    kill -9 "$pid" 2>/dev/null
  done
}
finish() {
  local status=$?
  stop_daemons
  if [ "$status" = 1 ]; then
    for log in "$scratch"/log/*.log; do echo "==== $log"; tail -n 20 "$log"; done
  fi
  rm -rf "$scratch"
  exit "$status"
}
trap finish EXIT
trap 'exit 1' INT TERM

# Two free TCP ports next to each other, away from Slurm's usual 6817/6818.
port_free() { ! (exec 3<>"/dev/tcp/127.0.0.1/$1") 2>/dev/null; }
port=$((20000 + ($$ % 2000) * 10))
while ! port_free "$port" || ! port_free $((port + 1)); do port=$((port + 2)); done

head -c 1024 /dev/urandom >"$scratch/munge.key"
chmod 400 "$scratch/munge.key"
munged --key-file="$scratch/munge.key" --socket="$scratch/run/munge.socket" \
  --pid-file="$scratch/run/munged.pid" --log-file="$scratch/log/munged.log" \
  --seed-file="$scratch/run/munged.seed" || fail "munged did not start"

node=$(hostname -s)
conf=$scratch/slurm.conf
cat >"$conf" <<CONF
ClusterName=korveltest
SlurmctldHost=$node(127.0.0.1)
SlurmctldPort=$port
SlurmdPort=$((port + 1))
SlurmUser=root
SlurmdUser=root
AuthType=auth/munge
AuthInfo=socket=$scratch/run/munge.socket
CredType=cred/munge
StateSaveLocation=$scratch/state
SlurmdSpoolDir=$scratch/spool
SlurmctldPidFile=$scratch/run/slurmctld.pid
SlurmdPidFile=$scratch/run/slurmd.pid
SlurmctldLogFile=$scratch/log/slurmctld.log
SlurmdLogFile=$scratch/log/slurmd.log
# Plugins that need neither systemd nor cgroups, so that it runs in a container.
ProctrackType=proctrack/linuxproc
TaskPlugin=task/none
SelectType=select/cons_tres
SelectTypeParameters=CR_CPU
SchedulerType=sched/builtin
JobAcctGatherType=jobacct_gather/none
AccountingStorageType=accounting_storage/none
MpiDefault=none
ReturnToService=2
MinJobAge=600
NodeName=$node NodeAddr=127.0.0.1 CPUs=$(nproc) State=UNKNOWN
PartitionName=test Nodes=$node Default=YES MaxTime=INFINITE State=UP
CONF
export SLURM_CONF=$conf
slurmctld -f "$conf" || fail "slurmctld did not start"
slurmd -f "$conf" || fail "slurmd did not start"
for _ in $(seq 150); do
  [ "$(sinfo -h -o %t 2>/dev/null)" = idle ] && break
  sleep 0.2
done
[ "$(sinfo -h -o %t 2>/dev/null)" = idle ] || fail "the node did not become idle: $(sinfo 2>&1)"

cd "$scratch" || fail "no scratch folder"
write_template
args=(--program "$korvel" --generations 0,10 --sample-sizes 10,20 --seed 314159)

"$sweep" "${args[@]}" --slurm --submit --threads-per-point 1 --out cluster T.IN >submit.txt 2>&1 ||
  fail "korvel-sweep --slurm --submit: $(cat submit.txt)"
job=$(sed -n 's/^submitted Slurm job \([0-9]*\).*/\1/p' submit.txt)
[ -n "$job" ] || fail "no job number in: $(cat submit.txt)"
for _ in $(seq 600); do
  [ -z "$(squeue -h -j "$job" 2>/dev/null)" ] && break
  sleep 0.2
done
[ -z "$(squeue -h -j "$job" 2>/dev/null)" ] && echo "job array $job finished" || fail "job $job still queued: $(squeue)"
[ "$(ls cluster/slurm-"$job"_*.log | wc -l)" = 4 ] || fail "expected 4 array task logs: $(ls cluster)"

finished "$sweep" --collect cluster >collect.txt 2>&1 || fail "korvel-sweep --collect: $(cat collect.txt)"
finished "$sweep" "${args[@]}" --jobs 2 --out local T.IN >local.txt 2>&1 || fail "local run: $(cat local.txt)"

for file in curve.csv design.csv point-0{1,2,3,4}/KORVEL.OUT point-0{1,2,3,4}/KORVEL.IN; do
  cmp -s "cluster/$file" "local/$file" || fail "cluster/$file differs from local/$file: $(diff "cluster/$file" "local/$file" | head)"
done
# Each task had the one core Slurm gave it.
grep -q '^export KORVEL_THREADS="${SLURM_CPUS_PER_TASK:-1}"$' cluster/sweep.sbatch || fail "threads not taken from Slurm"
echo "the Slurm sweep equals the local one"
