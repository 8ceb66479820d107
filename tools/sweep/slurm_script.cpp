// The Slurm job array: one task per point. Each task runs its point's
// command with KORVEL_THREADS set to the cores Slurm gave the task, so a
// point never uses more than its allocation.
#include "running.h"
#include "sweep.h"

namespace korvel::sweep {

std::string SBATCH_SCRIPT(const std::string& program, const std::vector<PointJob>& points,
                          const std::string& log_dir, const SlurmSettings& settings) {
  std::string script = "#!/bin/bash\n";
  script += "#SBATCH --job-name=korvel-sweep\n";
  script += "#SBATCH --array=1-" + std::to_string(points.size()) + "\n";
  script += "#SBATCH --cpus-per-task=" + std::to_string(settings.cpus_per_task) + "\n";
  script += "#SBATCH --output=" + log_dir + "/slurm-%A_%a.log\n";
  for (const std::string& line : settings.extra_lines) script += "#SBATCH " + line + "\n";
  script +=
      "# Written by korvel-sweep: one array task per point; korvel-sweep --collect\n"
      "# builds the curve when all have finished.\n"
      "set -u\n";
  script += "export ";
  script += THREADS_VARIABLE;
  script += "=\"${SLURM_CPUS_PER_TASK:-1}\"\n";
  script += "case \"${SLURM_ARRAY_TASK_ID:?not started as a Slurm array task}\" in\n";
  for (std::size_t i = 0; i < points.size(); ++i) {
    script += "  " + std::to_string(i + 1) + ") " + JOB_COMMAND(program, points[i], 0) + " ;;\n";
  }
  script += "  *) echo \"korvel-sweep: no point for array task $SLURM_ARRAY_TASK_ID\" >&2; exit 2 ;;\n";
  script += "esac\n";
  return script;
}

}  // namespace korvel::sweep
