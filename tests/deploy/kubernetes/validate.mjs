// Validates deploy/kubernetes offline: every object against the Kubernetes API's own schemas
// (kubernetes-models, generated from the API's OpenAPI document; no cluster is reachable
// here), the kustomization against the files beside it, and the facts the manifests share with
// the image (deploy/Containerfile: user, port, arguments, probes' path) and with each other.
//
//   node validate.mjs MANIFEST_DIR CONTAINERFILE VERSION
import { readFileSync } from "node:fs";
import { join } from "node:path";
import { parseAllDocuments } from "yaml";
import { Deployment } from "kubernetes-models/apps/v1";
import { Service } from "kubernetes-models/v1";
import { HorizontalPodAutoscaler } from "kubernetes-models/autoscaling/v2";
import { PodDisruptionBudget } from "kubernetes-models/policy/v1";

const [dir, containerfile, version] = process.argv.slice(2);
const models = {
    "apps/v1 Deployment": Deployment,
    "v1 Service": Service,
    "autoscaling/v2 HorizontalPodAutoscaler": HorizontalPodAutoscaler,
    "policy/v1 PodDisruptionBudget": PodDisruptionBudget,
};
const failures = [];
const check = (ok, message) => { if (!ok) failures.push(message); };
const read = (file) => {
    const documents = parseAllDocuments(readFileSync(join(dir, file), "utf8"));
    for (const d of documents) check(d.errors.length === 0, `${file}: ${d.errors.join("; ")}`);
    return documents.map((d) => d.toJS());
};

const kustomization = read("kustomization.yaml")[0];
const objects = {};
for (const file of kustomization.resources) {
    for (const object of read(file)) {
        const key = `${object.apiVersion} ${object.kind}`;
        const Model = models[key];
        check(Model, `${file}: ${key} is not a kind this check knows`);
        if (!Model) continue;
        try {
            new Model(object).validate();
        } catch (error) {
            failures.push(`${file}: ${key} ${object.metadata?.name}: ${error.message}`);
        }
        objects[object.kind] = object;
    }
}
check(Object.keys(objects).length === Object.keys(models).length,
      `the kustomization lists ${Object.keys(objects)}, not every kind of ${Object.keys(models)}`);

// The image's facts, as its Containerfile states them.
const lines = readFileSync(containerfile, "utf8").split("\n");
const instruction = (name) => lines.find((l) => l.startsWith(name + " "))?.slice(name.length + 1);
const [uid, gid] = instruction("USER").split(":").map(Number);
const port = parseInt(instruction("EXPOSE"), 10);
const imageArgs = JSON.parse(instruction("CMD"));

const deployment = objects.Deployment, pod = deployment.spec.template.spec;
const container = pod.containers[0];
const labels = deployment.spec.template.metadata.labels;
const selects = (selector) => Object.entries(selector).every(([k, v]) => labels[k] === v);
check(pod.securityContext.runAsNonRoot && pod.securityContext.runAsUser === uid &&
      pod.securityContext.runAsGroup === gid, `the pod does not run as the image's user ${uid}:${gid}`);
check(container.securityContext.readOnlyRootFilesystem, "the root file system is not read-only");
check(JSON.stringify(container.securityContext.capabilities.drop) === '["ALL"]', "capabilities are not all dropped");
check(container.volumeMounts.some((m) => m.mountPath === "/tmp"), "no writable /tmp");
check(container.ports[0].containerPort === port, `the container port is not the image's ${port}`);
check(JSON.stringify(container.args) === JSON.stringify(imageArgs), "the arguments differ from the image's");
for (const probe of ["readinessProbe", "livenessProbe"]) {
    check(container[probe]?.httpGet?.path === "/healthz" && container[probe].httpGet.port === "http",
          `${probe} does not ask /healthz on the http port`);
}
check(container.lifecycle?.preStop?.exec?.command?.[0] === "sleep", "no preStop delay");
const annotations = deployment.spec.template.metadata.annotations;
check(annotations["prometheus.io/scrape"] === "true" && annotations["prometheus.io/path"] === "/metrics" &&
      Number(annotations["prometheus.io/port"]) === port, "the scrape annotations do not name /metrics");
check(selects(deployment.spec.selector.matchLabels), "the Deployment's selector misses its pods");
check(selects(objects.Service.spec.selector), "the Service's selector misses the pods");
check(objects.Service.spec.ports[0].targetPort === container.ports[0].name, "the Service targets another port");
check(selects(objects.PodDisruptionBudget.spec.selector.matchLabels), "the budget's selector misses the pods");
const hpa = objects.HorizontalPodAutoscaler.spec;
check(hpa.scaleTargetRef.kind === "Deployment" && hpa.scaleTargetRef.name === deployment.metadata.name,
      "the autoscaler scales something else");
check(hpa.minReplicas === deployment.spec.replicas, "the autoscaler's minimum is not the Deployment's replicas");
check(hpa.metrics[0].resource.name === "cpu" && container.resources.requests.cpu,
      "the autoscaler's CPU target needs a CPU request");
const image = kustomization.images.find((i) => i.name === container.image);
check(image?.newTag === version, `the kustomization's image tag is not the package's version ${version}`);

if (failures.length) {
    console.error(failures.map((f) => `FAIL: kubernetes: ${f}`).join("\n"));
    process.exit(1);
}
console.log(`kubernetes: ${Object.keys(objects).join(", ")} valid against the API schemas; ` +
            `user ${uid}, port ${port}, probes and arguments agree with the image`);
